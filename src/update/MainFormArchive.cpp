// The main window's archive download: the file beside the target (a kept
// part resumed when the server agrees), the signature check when a key is
// trusted, and the rename over the target once everything is right.
#include "update/ArchiveDownload.h"
#include "update/MainForm.h"
#include "update/UpdateState.h"

void MainForm::FetchArchive() {
    trustedComment_.clear();
    archive_ = ArchiveDownload::OpenReceiver(transferFailure_);
    if (!archive_)
        return;
    archive_->onResumed = [this](std::int64_t at) { ShowResumed(at); };
    response_.BeginArchive(*archive_);
    Receive();
    if (!transferFailure_.isEmpty() && archive_->RestartWanted(response_.Response())) {
        archive_->StartOver();
        transferFailure_.clear();
        response_.BeginArchive(*archive_);
        Receive();
    }
}

QByteArray MainForm::SaveArchive() {
    if (response_.NotFound())
        return ResponseGathering::notFoundMessage;
    if (archive_->NeedsSignature()) {
        if (QByteArray refused = CheckSignature(); !refused.isEmpty())
            return refused;
    }
    const std::int64_t length = ArchiveDownload::Save(archive_);
    if (onArchiveProgress)
        onArchiveProgress(length, length, true);
    return {};
}

QByteArray MainForm::CheckSignature() {
    UpdateState& state = SharedState();
    const QByteArray archivePath = state.requestPath;
    state.requestPath = archivePath + ".minisig";
    response_.BeginText();
    Receive();
    if (!transferFailure_.isEmpty())
        return transferFailure_;
    // A missing signature is its file's failure; a refusal is the archive's.
    const bool missing = response_.NotFound();
    if (!missing)
        state.requestPath = archivePath;
    const ArchiveVerifier::Verdict verdict = ArchiveDownload::SignatureVerdict(*archive_, missing);
    trustedComment_ = verdict.trustedComment;
    return verdict.problem;
}

void MainForm::DropArchive() {
    if (!archive_)
        return;
    response_.Release(archive_);
    if (onArchiveProgress)
        onArchiveProgress(0, 0, true);
}

void MainForm::ShowResumed(std::int64_t at) {
    RemoveProgressLine();
    SystemMessagesText1.Append("Resuming at " + QByteArray::number(at) + " bytes.\r\n");
    SystemMessagesText1.Append(progressLine);
    progressShown_ = true;
}
