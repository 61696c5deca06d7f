// The quick update window's download: the button asks for the file; the
// archive streams beside it (a kept part resumed when the server agrees), its
// signature is checked when a key is trusted, and the label says where the
// archive went, or why it did not get there.
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
    QByteArray failure;
    archive_ = OpenReceiver(failure);
    if (!archive_) {
        Label1.SetCaption(FailureText(failure));
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
    if (!archive_->NeedsSignature())
        return SaveArchive();
    fetchingSignature_ = true;
    SharedState().requestPath = QByteArray(ArchiveDownload::archivePath) + ".minisig";
    StartTransfer();
    return Label1.Caption();
}

QByteArray QuickForm::CheckSignature() {
    fetchingSignature_ = false;
    SharedState().requestPath = ArchiveDownload::archivePath;
    const ArchiveVerifier::Verdict verdict =
        ArchiveDownload::SignatureVerdict(*archive_, response_.NotFound());
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
        ArchiveDownload::Save(archive_);
    } catch (const RuntimeError& e) {
        return FailureText(ArchiveDownload::CannotSave(e));
    }
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
