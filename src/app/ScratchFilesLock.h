// One KORU at a time uses a VANTO folder's scratch files (files/temp/ver.tmp
// and files/temp/otherinfo.txt): a command that writes or reads them holds
// the folder's scratch lock for its whole run, and a second KORU on the same
// folder waits its turn instead of reading the first one's data.
#pragma once

#include <functional>
#include <memory>

class FolderLock;

class ScratchFilesLock {
public:
    // Takes the lock of App::Path()'s scratch files, waiting in the event loop
    // while another process holds it; `waiting` is told once when it must
    // wait. A lock taken inside another in this process shares the outer one.
    explicit ScratchFilesLock(const std::function<void()>& waiting);
    ~ScratchFilesLock();
    ScratchFilesLock(const ScratchFilesLock&) = delete;
    ScratchFilesLock& operator=(const ScratchFilesLock&) = delete;

    // False when the program ended before the lock was had.
    bool Held() const { return held_; }

private:
    std::unique_ptr<FolderLock> lock_; // the outermost holder's
    bool held_ = false;
};
