// The quick update window's download: the button asks for the file; the
// archive streams beside it (a kept part resumed when the server agrees), its
// signature is checked when a key is trusted, and the label says where the
// archive went, or why it did not get there.
#include "platform/runtime/App.h"
#include "platform/runtime/RuntimeError.h"
#include "update/QuickForm.h"
#include "update/UpdateState.h"

#include <QFile>

namespace {

constexpr char pleaseWait[] = "Please wait for confirmation...";

} // namespace

void QuickForm::DownloadUpdateCommand1_Click() {
    using namespace ArchiveDownload;
    UpdateState& state = SharedState();
    try {
        download_ = ChooseSaveTarget();
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
    state.requestPath = archivePath;
    Timer1.SetEnabled(true);
    try {
        archive_ = std::make_unique<ArchiveReceiver>(
            state.targetFile, "http://" + state.serverHost + state.requestPath, App::Path());
    } catch (const RuntimeError& e) {
        Label1.SetCaption(FailureText(CannotSave(e)));
        return;
    }
    if (!archive_->KeyProblem().isEmpty()) {
        Label1.SetCaption(FailureText(archive_->KeyProblem()));
        return;
    }
    archive_->onResumed = [this](std::int64_t at) { ShowResumed(at); };
    StartTransfer();
}

QByteArray QuickForm::ReadArchive() {
    if (fetchingSignature_)
        return CheckSignature();
    // Any other answer to the archive's request is a failed download, not a version.
    if (!response_.DeclaresZip() || response_.NotFound())
        return FailureText(response_.NotFound()
                               ? QByteArray(ResponseGathering::notFoundMessage)
                               : QByteArray("The server's answer is not an archive."));
    archiveLength_ = response_.ArchiveReceived();
    if (!archive_->NeedsSignature())
        return SaveArchive();
    fetchingSignature_ = true;
    SharedState().requestPath = QByteArray(ArchiveDownload::archivePath) + ".minisig";
    StartTransfer();
    return Label1.Caption();
}

QByteArray QuickForm::CheckSignature() {
    UpdateState& state = SharedState();
    fetchingSignature_ = false;
    state.requestPath = ArchiveDownload::archivePath;
    if (response_.NotFound())
        return FailureText("The archive has no signature on the server.");
    const ArchiveVerifier::Verdict verdict = archive_->Verify(state.responseBuffer);
    if (!verdict.Verified())
        return FailureText(verdict.problem);
    return SaveArchive();
}

QByteArray QuickForm::SaveArchive() {
    UpdateState& state = SharedState();
    QByteArray label = Label1.Caption();
    label.replace(pleaseWait,
                  "Done!\r\n\r\nFile saved to:\r\n" + QFile::encodeName(state.targetFile));
    try {
        archive_->Commit();
    } catch (const RuntimeError& e) {
        return FailureText(ArchiveDownload::CannotSave(e));
    }
    archive_.reset();
    state.responseBuffer.clear();
    state.responseLength = archiveLength_;
    download_.reset();
    return label;
}

QByteArray QuickForm::FailureText(const QByteArray& reason) {
    response_.Release(archive_);
    fetchingSignature_ = false;
    if (download_) {
        ArchiveDownload::ForgetSaveTarget(*download_);
        download_.reset();
        DownloadUpdateCommand1.SetCaption("Download Update!");
        DownloadUpdateCommand1.SetEnabled(true);
    }
    return "TRANSFER FAILED: " + reason;
}

bool QuickForm::RestartedArchive() {
    if (!archive_ || fetchingSignature_ || !archive_->RestartWanted(response_.Response()))
        return false;
    archive_->StartOver();
    StartTransfer();
    return true;
}

void QuickForm::ShowResumed(std::int64_t at) {
    QByteArray label = Label1.Caption();
    label.replace(pleaseWait, "Resuming at " + QByteArray::number(at) + " bytes.\r\n" + pleaseWait);
    Label1.SetCaption(label);
}
