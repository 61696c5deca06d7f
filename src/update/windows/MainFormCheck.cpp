// "Check for available updates": the installed version, the server switch, the
// offered version, the help-links stamps and the news, in that order. A step
// whose transfer failed gives no verdict and offers no update.
#include "platform/runtime/App.h"
#include "platform/runtime/EndProgram.h"
#include "platform/runtime/Events.h"
#include "platform/runtime/RuntimeError.h"
#include "platform/runtime/Val.h"
#include "update/files/ArchiveDownload.h"
#include "update/formats/ServerPaths.h"
#include "update/formats/VersionFiles.h"
#include "update/jobs/UpdateState.h"
#include "update/windows/MainForm.h"

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

} // namespace

QString MainForm::LocalFile(const char* relativePath) const {
    return App::Path() + QString::fromLatin1(relativePath);
}

void MainForm::RunExclusive(void (MainForm::*command)(), ScratchFiles scratch) {
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
    (this->*command)();
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

bool MainForm::CompareVersions(const QByteArray& offered) {
    return SharedState().CompareVersions(offered);
}

bool MainForm::CheckKillSwitch() {
    UpdateState& state = SharedState();
    state.serviceMode = serviceOn;
    state.targetFile = LocalFile("/files/temp/ver.tmp");
    state.requestPath = ServerPaths::killSwitch;
    const bool listed = ReleaseCheck::Names(state.requestPath);
    if (ReleaseCheck::Held() && !listed) {
        // A signed list without a switch keeps the service on: a switch
        // slipped onto the server beside it is not even fetched.
        state.SetResponse({});
        return true;
    }
    if (RunTransfer() != Transfer::Done) {
        // A failed fetch gives no verdict: the service counts as on, and the
        // failure line stays in the log. A switch the signed list promised
        // may have been withheld to keep KORU on, so the check ends there.
        state.SetResponse({});
        if (listed)
            EndCheckWithoutVerdict();
        return !listed;
    }
    state.serviceMode =
        VersionFiles::ContainsKillSwitch(state.responseBuffer) ? serviceOff : serviceOn;
    state.SetResponse(VersionFiles::WithoutKillSwitch(state.responseBuffer));
    return true;
}

void MainForm::EndCheckWithoutVerdict() {
    // Nothing is offered on words that cannot be vouched for.
    mnuAvailableDownload(0).SetEnabled(false);
    mnuAvailableDownload(1).SetEnabled(false);
    SystemMessagesText1.AppendSeparator();
}

bool MainForm::CheckReleaseList() {
    if (transferWaiting_ || !Winsock2)
        return true; // the first transfer says why it cannot start
    ReleaseCheck::Outcome outcome;
    releaseCheck_.Start(transfer_, *Winsock2, SharedState().serverHost, App::Path(),
                        [&outcome](const ReleaseCheck::Outcome& ended) { outcome = ended; });
    Await([this] { return releaseCheck_.Running(); });
    if (ProgramEnded()) {
        releaseCheck_.Cancel();
        return false;
    }
    if (outcome.failure) {
        ReportFailure(outcome.path, outcome.failure.text);
        EndCheckWithoutVerdict();
        return false;
    }
    if (!outcome.logLine.isEmpty())
        SystemMessagesText1.Append(outcome.logLine + "\r\n");
    return true;
}

void MainForm::CompareHelpLinkStamps() {
    QByteArray oldStamp;
    QByteArray newStamp;
    try {
        oldStamp = VersionFiles::ReadStamp(LocalFile("/files/koru/koru_helplinks.ver"));
        newStamp = VersionFiles::ReadStamp(LocalFile("/files/temp/ver.tmp"));
    } catch (const RuntimeError& e) {
        // A VANTO folder without files/koru has no stamp to compare: this
        // step fails, and the check goes on to the news.
        ++failedTransfers_;
        SystemMessagesText1.Append(ArchiveDownload::SaveFailure(e) + "\r\n");
        SystemMessagesText1.AppendSeparator();
        mnuAvailableDownload(1).SetEnabled(false);
        return;
    }
    if (!VersionFiles::SameStamp(oldStamp, newStamp)) {
        SystemMessagesText1.Append("Old version = " + oldStamp + "     " +
                                   "New version = " + newStamp + "\r\n");
        mnuAvailableDownload(1).SetEnabled(true);
        SystemMessagesText1.AppendSeparator();
    } else {
        SystemMessagesText1.Append("Help Links already up to date.\r\n");
        SystemMessagesText1.AppendSeparator();
        mnuAvailableDownload(1).SetEnabled(false);
    }
}

void MainForm::CheckForUpdates() {
    UpdateState& state = SharedState();
    SystemMessagesText1.SetText({});
    SystemMessagesText1.Append("Checking for VANTO Updates...\r\n");
    if (!CheckReleaseList())
        return;

    bool checkHelpLinks = true;
    const QByteArray installed = VersionFiles::InstalledVersionText(LocalFile("/VANTO.ini"));
    if (installed == VersionFiles::noInstallation) {
        SystemMessagesText1.Append("NO VALID VANTO.INI FOUND!\r\n");
        SystemMessagesText1.Append("This should never normally happen.\r\n");
        SystemMessagesText1.AppendSeparator();
        // The switch is asked before the help links, as the first transfer does.
        if (state.serviceMode == serviceNotChecked && !CheckKillSwitch())
            return;
    } else {
        state.localVersion = float(Val(installed));
        if (!CheckKillSwitch())
            return;
        state.targetFile = LocalFile("/files/temp/ver.tmp");
        state.requestPath = ServerPaths::versionFile;
        const Transfer version = RunTransfer();
        if (state.serviceMode == serviceOff) {
            SystemMessagesText1.SetText(state.responseBuffer + "\r\n");
            SystemMessagesText1.AppendSeparator();
            checkHelpLinks = false;
        } else {
            if (version != Transfer::Done) {
                mnuAvailableDownload(0).SetEnabled(false);
            } else if (CompareVersions(VersionFiles::OfferedVersionText(state.responseBuffer))) {
                mnuAvailableDownload(0).SetEnabled(true);
                SystemMessagesText1.Append("\r\n" + state.responseBuffer + "\r\n");
            } else {
                mnuAvailableDownload(0).SetEnabled(false);
                if (fetched_.notFound)
                    SystemMessagesText1.Append("FAILED TO FIND UPDATE FILE ON THE SERVER\r\n");
                else
                    SystemMessagesText1.Append("You already have the most recent VANTO.\r\n");
            }
            SystemMessagesText1.AppendSeparator();
        }
    }

    if (checkHelpLinks) {
        SystemMessagesText1.Append("Checking for Help Link updates... ");
        state.targetFile = LocalFile("/files/temp/ver.tmp");
        state.requestPath = ServerPaths::helpLinks;
        const Transfer list = RunTransfer();
        if (list == Transfer::Done && fetched_.notFound) {
            // No list is no set of help links: nothing to compare or offer.
            SystemMessagesText1.Append("\r\nFAILED TO FIND HELP LINKS ON THE SERVER\r\n");
            SystemMessagesText1.AppendSeparator();
            mnuAvailableDownload(1).SetEnabled(false);
        } else if (list == Transfer::Done) {
            SystemMessagesText1.Append("\r\n");
            CompareHelpLinkStamps();
        } else {
            // Nothing fetched: the scratch file holds an older answer, never a stamp.
            mnuAvailableDownload(1).SetEnabled(false);
            if (list == Transfer::Failed)
                SystemMessagesText1.AppendSeparator();
        }
    }

    state.requestPath = ServerPaths::otherInfo;
    state.targetFile = LocalFile("/files/temp/otherinfo.txt");
    if (RunTransfer() != Transfer::Failed)
        SystemMessagesText1.Append(state.responseBuffer + "\r\n");
    SystemMessagesText1.AppendSeparator();
}
