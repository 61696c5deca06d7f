// The main window's downloads under UPDATES > Download: "VANTO Update" saves
// the archive where the user chooses, with the progress digits in the log.
// A failed download says why in the log, keeps the update on offer and
// leaves the chosen file as it was.
#include "platform/runtime/RuntimeError.h"
#include "update/files/ArchiveDownload.h"
#include "update/formats/ServerPaths.h"
#include "update/windows/MainForm.h"
#include "update/windows/UpdateState.h"
#include "update/windows/WindowSeams.h"

void MainForm::mnuAvailableDownload_Click(int index) {
    // The help-links update guards itself; every other index is the VANTO download.
    if (index == 1)
        HelpLinksUpdate();
    else
        RunExclusive(&MainForm::VantoUpdate, ScratchFiles::Unused);
}

int MainForm::VantoUpdate() {
    using namespace ArchiveDownload;
    UpdateState& state = SharedState();
    if (ShowServiceOffMessage())
        return 0;
    if (!InBatch())
        SystemMessagesText1.SetText({});
    std::optional<SaveTarget> target;
    try {
        target = ChooseSaveTarget(WindowSeams::ChooseArchiveFile, WindowSeams::AskYesNo);
    } catch (const RuntimeError& e) {
        // Nothing was fetched: the file named in the dialog cannot be written.
        SystemMessagesText1.Append(SaveFailure(e) + "\r\n");
        SystemMessagesText1.AppendSeparator();
        return 1;
    }
    if (!target)
        return 0;

    mnuUpdate.SetEnabled(false);
    SystemMessagesText1.Append("Downloading VANTO version " + VersionText(state.remoteVersion) +
                               "\r\n");
    SystemMessagesText1.Append(progressLine);
    progressShown_ = true;
    state.targetFile = target->path;
    state.requestPath = ServerPaths::archive;
    state.SetResponse({});
    int failures = 0;
    const Transfer transfer = RunArchive(target->path, failures);
    if (transfer == Transfer::Done) {
        // A description shown meanwhile has taken the progress line away.
        if (progressShown_)
            RemoveProgressLine();
        if (!trustedComment_.isEmpty())
            SystemMessagesText1.Append("Signature verified: " + trustedComment_ + "\r\n");
        SystemMessagesText1.Append("Done!\r\n");
        SystemMessagesText1.AppendSeparator();
        mnuAvailableDownload(0).SetEnabled(false);
        ShowInstallItems();
    } else {
        // Still offered, so that the user can try again; a closed window or a
        // stopped koru-cli leaves no progress line behind either.
        if (progressShown_)
            RemoveProgressLine();
        ForgetSaveTarget(*target);
        if (transfer == Transfer::Failed)
            SystemMessagesText1.AppendSeparator();
    }
    mnuUpdate.SetEnabled(true);
    return failures;
}
