// "Help Links Update" and "All Available Updates": the help-link items named
// in the list that the last check saved, fetched into the help folder, and the
// batch that runs the VANTO update and the help-links update one after the other.
#include "platform/runtime/EndProgram.h"
#include "platform/runtime/Events.h"
#include "platform/runtime/FileAccess.h"
#include "platform/runtime/RuntimeError.h"
#include "platform/runtime/Val.h"
#include "update/formats/HelpLinksList.h"
#include "update/formats/ServerPaths.h"
#include "update/jobs/UpdateState.h"
#include "update/windows/MainForm.h"

namespace {

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

bool MainForm::InBatch() const {
    return Val(Tag) == 1;
}

void MainForm::HelpLinksUpdate() {
    RunExclusive(&MainForm::FetchHelpLinks);
}

void MainForm::FetchHelpLinks() {
    if (ShowServiceOffMessage())
        return;
    if (!InBatch())
        SystemMessagesText1.SetText({});
    // The command guard keeps "UPDATES     " disabled for the whole run and
    // enables it again at its end.

    HelpLinksList list;
    try {
        list = HelpLinksList::Read(LocalFile("/files/temp/ver.tmp"));
    } catch (const RuntimeError& e) {
        // The list the check saved is gone (removed meanwhile): only a new
        // check can find it again, so the update stays on offer.
        ++failedTransfers_;
        SystemMessagesText1.Append("HELP LINKS UPDATE FAILED: " + e.Source() + ": " +
                                   e.Description() + ". Check for updates again.\r\n");
        return;
    }
    int failed = 0;
    for (const QByteArray& name : list.items) {
        if (!HelpLinksList::FitsFolder(LocalFile("/files/koru/help"), name)) {
            // Such a name would write outside the help folder, under other bytes,
            // or fail on every run and keep the update on offer for ever.
            SystemMessagesText1.Append("ITEM SKIPPED: \"" + HelpLinksList::PathSegment(name) +
                                       "\" is not a file name for the help folder.\r\n");
            continue;
        }
        SystemMessagesText1.Append("Downloading " + name + " <TXT>");
        // The item's line is finished before a failure of its text is told.
        QByteArrayList held;
        heldFailures_ = &held;
        failed += FetchHelpLinkFile(name, ".txt") ? 0 : 1;
        heldFailures_ = nullptr;
        SystemMessagesText1.Append("<GIF>\r\n");
        for (const QByteArray& line : held)
            SystemMessagesText1.Append(line);
        failed += FetchHelpLinkFile(name, ".gif") ? 0 : 1;
        if (ProgramEnded())
            return;
    }

    if (failed > 0) {
        // Without the new stamp the next check offers the update again, so
        // the items that did not arrive are fetched then.
        SystemMessagesText1.Append("NOT ALL HELP LINKS ARRIVED: the update stays on offer.\r\n");
        return;
    }
    BinaryFile stampFile(LocalFile("/files/koru/koru_helplinks.ver"));
    stampFile.Put(1, list.stamp);
    stampFile.Close();
    mnuAvailableDownload(1).SetEnabled(false);
    SystemMessagesText1.Append("Done!\r\n");
}

bool MainForm::FetchHelpLinkFile(const QByteArray& name, const char* ending) {
    UpdateState& state = SharedState();
    state.targetFile = HelpLinksList::ItemPath(LocalFile("/files/koru/help"), name, ending);
    state.requestPath = ServerPaths::koruFolder + HelpLinksList::PathSegment(name) + ending;
    // Streamed to disk: a picture may be far larger than a text kept in memory.
    return RunTransfer(Body::File) == Transfer::Done;
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
