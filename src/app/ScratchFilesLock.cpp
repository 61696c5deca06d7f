#include "app/ScratchFilesLock.h"

#include "platform/runtime/App.h"
#include "platform/runtime/EndProgram.h"
#include "platform/runtime/FolderLock.h"

namespace {

// How many commands of the UI thread hold the lock; the outermost one owns it.
int holders = 0;

} // namespace

ScratchFilesLock::ScratchFilesLock(const std::function<void()>& waiting) {
    if (holders == 0) {
        // Each outermost holder opens the lock file afresh: such locks
        // exclude each other in one process too, so two that wait at once
        // take turns.
        lock_ = std::make_unique<FolderLock>(App::Path(), "scratch");
        if (!lock_->WaitLock(FolderLock::Exclusive, waiting, [] { return ProgramEnded(); }))
            return;
    }
    held_ = true;
    ++holders;
}

ScratchFilesLock::~ScratchFilesLock() {
    if (held_)
        --holders;
}
