// The main window's archive download: the file beside the target (a kept
// part resumed when the server agrees), the signature check when a key is
// trusted, and the rename over the target once everything is right.
#include "platform/runtime/App.h"
#include "platform/runtime/RuntimeError.h"
#include "update/ArchiveDownload.h"
#include "update/MainForm.h"
#include "update/UpdateState.h"

void MainForm::FetchArchive() {
    UpdateState& state = SharedState();
    trustedComment_.clear();
    try {
        archive_ = std::make_unique<ArchiveReceiver>(
            state.targetFile, "http://" + state.serverHost + state.requestPath, App::Path());
    } catch (const RuntimeError& e) {
        transferFailure_ = ArchiveDownload::CannotSave(e);
        return;
    }
    if (!archive_->KeyProblem().isEmpty()) {
        // Nothing is fetched that could not be checked.
        transferFailure_ = archive_->KeyProblem();
        return;
    }
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
    UpdateState& state = SharedState();
    if (response_.NotFound())
        return ResponseGathering::notFoundMessage;
    const std::int64_t length = response_.ArchiveReceived();
    if (archive_->NeedsSignature()) {
        if (QByteArray refused = CheckSignature(); !refused.isEmpty())
            return refused;
    }
    archive_->Commit();
    archive_.reset();
    if (onArchiveProgress)
        onArchiveProgress(length, length, true);
    state.responseBuffer.clear();
    state.responseLength = length;
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
    if (response_.NotFound())
        return "The archive has no signature on the server.";
    // A refusal is the archive's, not its signature file's.
    state.requestPath = archivePath;
    const ArchiveVerifier::Verdict verdict = archive_->Verify(state.responseBuffer);
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
