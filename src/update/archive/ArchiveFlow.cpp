#include "update/archive/ArchiveFlow.h"

#include "update/archive/ArchiveDownload.h"
#include "update/http/NotFoundRule.h"

namespace {

const QByteArray signaturePath = QByteArray(ArchiveDownload::archivePath) + ".minisig";

} // namespace

void ArchiveFlow::Start(TransferEngine& engine, CSocketMaster& socket, const QByteArray& server,
                        const QString& target, const QString& vantoFolder, QByteArray& text,
                        EndHandler onEnd) {
    engine_ = &engine;
    socket_ = &socket;
    server_ = server;
    text_ = &text;
    onEnd_ = std::move(onEnd);
    trustedComment_.clear();
    running_ = true;
    try {
        archive_ = std::make_unique<ArchiveReceiver>(
            target, "http://" + server + ArchiveDownload::archivePath, vantoFolder);
    } catch (const RuntimeError& e) {
        Fail(ArchiveDownload::CannotSave(e), ArchiveDownload::archivePath);
        return;
    }
    // Nothing is fetched that could not be checked.
    if (!archive_->KeyProblem().isEmpty()) {
        Fail({TransferFailure::Kind::Signature, archive_->KeyProblem()},
             ArchiveDownload::archivePath);
        return;
    }
    archive_->onResumed = [this](std::int64_t at) {
        if (onResumed)
            onResumed(at);
    };
    FetchArchive();
}

void ArchiveFlow::FetchArchive() {
    engine_->FetchFile(*socket_, server_, ArchiveDownload::archivePath, *archive_,
                       [this](const TransferFailure& failure) { ArchiveEnded(failure); });
}

// An archive cut short, too slow or refused by its signature may be whole
// and sound on the next mirror: asked for there from its first byte.
bool ArchiveFlow::TriedNextServer(const TransferFailure& failure) {
    using Kind = TransferFailure::Kind;
    const Kind kind = failure.kind;
    if (kind != Kind::Signature && kind != Kind::ClosedEarly && kind != Kind::BadAnswer &&
        kind != Kind::Stalled && kind != Kind::Slow)
        return false;
    if (!engine_->MoveToNextServer())
        return false;
    ResponseGathering& response = engine_->Response();
    if (response.Receives(*archive_))
        response.Abandon();
    archive_->StartOver();
    FetchArchive();
    return true;
}

void ArchiveFlow::ArchiveEnded(const TransferFailure& failure) {
    const ResponseGathering& response = engine_->Response();
    if (TriedNextServer(failure))
        return;
    if (failure) {
        // A server that will not resume the kept part is asked for the whole archive.
        if (archive_->RestartWanted(response.Response())) {
            archive_->StartOver();
            FetchArchive();
            return;
        }
        Fail(failure, ArchiveDownload::archivePath);
    } else if (response.NotFound()) {
        Fail({TransferFailure::Kind::NotFound, NotFoundRule::message},
             ArchiveDownload::archivePath);
    } else if (requireZip && !response.DeclaresZip()) {
        Fail({TransferFailure::Kind::NotArchive, "The server's answer is not an archive."},
             ArchiveDownload::archivePath);
    } else if (archive_->NeedsSignature()) {
        engine_->FetchText(*socket_, server_, signaturePath, *text_,
                           [this](const TransferFailure& failed) { SignatureEnded(failed); });
    } else {
        Save();
    }
}

void ArchiveFlow::SignatureEnded(const TransferFailure& failure) {
    if (failure) {
        Fail(failure, signaturePath);
        return;
    }
    // A missing signature is its file's failure; a refusal is the archive's.
    if (engine_->Response().NotFound()) {
        Fail({TransferFailure::Kind::Signature, "The archive has no signature on the server."},
             signaturePath);
        return;
    }
    const ArchiveVerifier::Verdict verdict = archive_->Verify(*text_);
    if (!verdict.Verified()) {
        const TransferFailure refused{TransferFailure::Kind::Signature, verdict.problem};
        if (!TriedNextServer(refused))
            Fail(refused, ArchiveDownload::archivePath);
        return;
    }
    trustedComment_ = verdict.trustedComment;
    Save();
}

void ArchiveFlow::Save() {
    const std::int64_t length = archive_->Size();
    try {
        archive_->Commit();
    } catch (const RuntimeError& e) {
        Fail(ArchiveDownload::CannotSave(e), ArchiveDownload::archivePath);
        return;
    }
    engine_->Response().Detach();
    archive_.reset();
    End({{}, ArchiveDownload::archivePath, trustedComment_, length});
}

void ArchiveFlow::Fail(const TransferFailure& failure, const QByteArray& path) {
    Release();
    End({failure, path, {}, 0});
}

void ArchiveFlow::End(Outcome outcome) {
    running_ = false;
    const EndHandler onEnd = std::move(onEnd_);
    onEnd_ = nullptr;
    if (onEnd)
        onEnd(outcome);
}

void ArchiveFlow::Cancel() {
    if (!running_)
        return;
    running_ = false;
    onEnd_ = nullptr;
    engine_->Cancel();
    Release();
}

void ArchiveFlow::Release() {
    if (!archive_)
        return;
    ResponseGathering& response = engine_->Response();
    if (response.Receives(*archive_))
        response.Abandon();
    else
        archive_->Interrupt(false);
    archive_.reset();
}
