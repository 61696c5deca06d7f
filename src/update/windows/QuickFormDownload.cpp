// The quick update window's download: the button asks for the file; the
// archive flow streams it beside it (a kept part resumed when the server
// agrees, its signature checked when a key is trusted), and the label says
// where the archive went, or why it did not get there. An archive the held
// list marks installable turns the button into "Install Update!", and one
// click installs it on koru-cli's path.
#include "platform/runtime/App.h"
#include "platform/runtime/RuntimeError.h"
#include "update/formats/ServerPaths.h"
#include "update/install/InstallCheck.h"
#include "update/windows/MessageLog.h"
#include "update/windows/QuickForm.h"
#include "update/windows/UpdateState.h"
#include "update/windows/VantoQuestions.h"
#include "update/windows/WindowSeams.h"

#include <QFile>

namespace {

constexpr char pleaseWait[] = "Please wait for confirmation...";

} // namespace

void QuickForm::DownloadUpdateCommand1_Click() {
    using namespace ArchiveDownload;
    if (phase_ != Phase::Idle)
        return;
    if (installReady_) {
        InstallUpdate();
        return;
    }
    UpdateState& state = SharedState();
    try {
        download_ = ChooseSaveTarget(WindowSeams::ChooseArchiveFile, WindowSeams::AskYesNo);
    } catch (const RuntimeError& e) {
        Label1.SetCaption(SaveFailure(e));
        return;
    }
    if (!download_)
        return;
    DownloadUpdateCommand1.SetCaption({});
    DownloadUpdateCommand1.SetEnabled(false);
    Label1.SetCaption("Downloading VANTO version " + VersionText(state.remoteVersion) + "\r\n" +
                      pleaseWait);
    state.targetFile = download_->path;
    state.requestPath = ServerPaths::archive;
    Timer1.SetEnabled(true);
    phase_ = Phase::ArchiveDownload;
    archiveFlow_.Start(transfer_, *Winsock1, state.serverHost, state.targetFile, App::Path(),
                       state.responseBuffer,
                       [this](const ArchiveFlow::Outcome& outcome) { ArchiveEnded(outcome); });
}

void QuickForm::ArchiveEnded(const ArchiveFlow::Outcome& outcome) {
    phase_ = Phase::Idle;
    if (outcome.failure) {
        Label1.SetCaption(FailureText(outcome.failure.text));
        return;
    }
    UpdateState& state = SharedState();
    state.SavedArchive(outcome.length);
    QByteArray label = Label1.Caption();
    label.replace(pleaseWait,
                  "Done!\r\n\r\nFile saved to:\r\n" + QFile::encodeName(state.targetFile));
    download_.reset();
    Label1.SetCaption(label);
    if (!InstallCheck::SavedInstallable(state.releaseList).isEmpty()) {
        installReady_ = true;
        DownloadUpdateCommand1.SetCaption("Install Update!");
        DownloadUpdateCommand1.SetEnabled(true);
    }
}

void QuickForm::InstallUpdate() {
    installReady_ = false;
    DownloadUpdateCommand1.SetCaption({});
    DownloadUpdateCommand1.SetEnabled(false);
    const UpdateState& state = SharedState();
    const ReleaseList& list = *state.releaseList;
    MessageLog log; // the window shows only the outcome, and staging's digits in its title
    const QByteArray title = Caption();
    Timer1.SetEnabled(false); // its byte count would take the title back
    phase_ = Phase::Install;
    // The click itself said Yes.
    const InstallCheck::Ending ending = InstallCheck::Install(
        {}, list, state.releaseList.missing, App::Path(), log, VantoQuestions::AskClosed,
        [](const QByteArray&, const QByteArray&) { return true; },
        WindowSeams::Repainting([this, &title](const UpdateInstaller::Staging& staging, bool done) {
            SetCaption(done ? title : staging.Text());
        }));
    phase_ = Phase::Idle;
    QByteArray label =
        ending.why.isEmpty() ? "VANTO " + list.offeredVersion + " installed." : ending.why;
    if (ending.vantoClosed) {
        if (const QByteArray why = VantoQuestions::OfferStart(list.program); !why.isEmpty())
            label += "\r\n" + why;
    }
    Label1.SetCaption(label);
}

QByteArray QuickForm::FailureText(const QByteArray& reason) {
    if (download_) {
        ArchiveDownload::ForgetSaveTarget(*download_);
        download_.reset();
        DownloadUpdateCommand1.SetCaption("Download Update!");
        DownloadUpdateCommand1.SetEnabled(true);
    }
    return TransferFailure::headline + reason;
}

void QuickForm::ShowAboveWait(const QByteArray& line) {
    QByteArray label = Label1.Caption();
    label.replace(pleaseWait, line + "\r\n" + pleaseWait);
    Label1.SetCaption(label);
}
