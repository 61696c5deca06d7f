// The main window's commands that fetch, one at a time: "Check for available
// updates" (the version check job, its offers shown in the Download menu)
// and "All Available Updates", the batch that runs the VANTO update and the
// help-links update one after the other. Each command answers how many of
// its transfers failed; the count is kept here alone.
#include "platform/runtime/EndProgram.h"
#include "platform/runtime/Events.h"
#include "platform/runtime/Val.h"
#include "update/windows/MainForm.h"
#include "update/windows/UpdateState.h"

namespace {

// Puts a command's guard back however the command ends.
class CommandGuard {
public:
    CommandGuard(bool& running, MenuItem& head)
        : running_(running), head_(head), headEnabled_(head.Enabled()) {
        running_ = true;
        head_.SetEnabled(false);
    }
    ~CommandGuard() {
        head_.SetEnabled(headEnabled_);
        running_ = false;
    }
    CommandGuard(const CommandGuard&) = delete;
    CommandGuard& operator=(const CommandGuard&) = delete;

private:
    bool& running_;
    MenuItem& head_;
    bool headEnabled_;
};

// Clears the batch flag however the batch ends.
class BatchFlag {
public:
    explicit BatchFlag(QByteArray& tag) : tag_(tag) { tag_ = "1"; }
    ~BatchFlag() { tag_ = "0"; }
    BatchFlag(const BatchFlag&) = delete;
    BatchFlag& operator=(const BatchFlag&) = delete;

private:
    QByteArray& tag_;
};

} // namespace

void MainForm::RunExclusive(Fetching command, ScratchFiles scratch) {
    // Commands that fetch files wait in the event loop; while one waits, the
    // UPDATES menu is off so that no second transfer can start inside it.
    if (commandRunning_)
        return;
    failedTransfers_ = 0;
    transfer_.FirstServerNext();
    std::optional<ScratchFilesLock> lock;
    if (scratch == ScratchFiles::Used && !AwaitScratchFiles(lock))
        return;
    CommandGuard guard(commandRunning_, mnuUpdate);
    failedTransfers_ = (this->*command)();
}

bool MainForm::AwaitScratchFiles(std::optional<ScratchFilesLock>& lock) {
    CommandGuard guard(commandRunning_, mnuUpdate);
    lock.emplace([this] {
        const QByteArray notice = "Waiting for another KORU to finish its work in this folder...";
        if (onNotice)
            onNotice(notice);
        else
            SystemMessagesText1.Append(notice + "\r\n");
    });
    return lock->Held();
}

void MainForm::mnuCheckForUpdates_Click() {
    RunExclusive(&MainForm::CheckForUpdates);
}

int MainForm::CheckForUpdates() {
    VersionCheck::Outcome outcome;
    versionCheck_.Start(Tools(),
                        [&outcome](const VersionCheck::Outcome& ended) { outcome = ended; });
    if (!AwaitJob(versionCheck_))
        return 0;
    UpdateState& state = SharedState();
    if (outcome.localVersion)
        state.localVersion = *outcome.localVersion;
    if (outcome.remoteVersion)
        state.remoteVersion = *outcome.remoteVersion;
    ShowOffers(outcome.offers);
    ShowInstallItems();
    return outcome.failures;
}

bool MainForm::InBatch() const {
    return Val(Tag) == 1;
}

void MainForm::mnuAllAvailableUpdates_Click() {
    // Each update takes the command guard for itself, so the batch holds none
    // of its own; it only refuses to start inside another command.
    if (commandRunning_)
        return;
    if (ShowServiceOffMessage())
        return;
    // One hold of the scratch files for the whole batch.
    std::optional<ScratchFilesLock> scratch;
    if (!AwaitScratchFiles(scratch))
        return;
    SystemMessagesText1.SetText({});
    BatchFlag batch(Tag);
    int failed = 0;
    if (mnuAvailableDownload(0).Enabled()) {
        failedTransfers_ = 0;
        mnuAvailableDownload_Click(0);
        failed += failedTransfers_;
        // The VANTO update returns once its download has ended; this wait
        // only matters if it ever hands its transfer to the event loop.
        WaitUntil([this] { return !commandRunning_ || ProgramEnded(); });
        if (ProgramEnded())
            return;
    }
    if (mnuAvailableDownload(1).Enabled()) {
        failedTransfers_ = 0;
        mnuAvailableDownload_Click(1);
        failed += failedTransfers_;
    }
    failedTransfers_ = failed;
}
