#include "update/jobs/ArchiveFlow.h"

#include "update/files/ArchiveDownload.h"
#include "update/files/SeedArchive.h"
#include "update/formats/NotFoundRule.h"
#include "update/formats/ServerPaths.h"
#include "update/net/FailureReason.h"

namespace {

const QByteArray signaturePath = QByteArray(ServerPaths::archive) + ServerPaths::signatureEnding;

} // namespace

void ArchiveFlow::Start(TransferEngine& engine, Connection& connection, const QByteArray& server,
                        const QString& target, const QString& vantoFolder, QByteArray& text,
                        EndHandler onEnd) {
    engine_ = &engine;
    connection_ = &connection;
    server_ = server;
    target_ = target;
    text_ = &text;
    assembled_ = false;
    listed_ = releaseList != nullptr && releaseList->has_value();
    vetting_ = releaseList != nullptr ? releaseList->Vetting() : TransferEngine::Options::Vetting();
    Begin(std::move(onEnd));
    trustedComment_.clear();
    try {
        archive_ = std::make_unique<ArchiveReceiver>(
            target, "http://" + server + ServerPaths::archive, vantoFolder, listed_);
    } catch (const RuntimeError& e) {
        Fail(ArchiveDownload::CannotSave(e), ServerPaths::archive);
        return;
    }
    // Nothing is fetched that could not be checked.
    if (!listed_ && !archive_->KeyProblem().isEmpty()) {
        Fail({TransferFailure::Kind::Signature, archive_->KeyProblem()}, ServerPaths::archive);
        return;
    }
    archive_->onResumed = [this](std::int64_t at) {
        if (onResumed)
            onResumed(at);
    };
    // A kept part of a full download is resumed rather than replaced by a delta.
    const QString seed = archive_->KeptSize() == 0 ? SeedArchive::For(target) : QString();
    if (seed.isEmpty()) {
        FetchArchive();
        return;
    }
    delta_.onReusing = [this](const QByteArray& line) { Note(line); };
    delta_.listedLength = listed_ ? releaseList->ListedLength(ServerPaths::archive) : -1;
    delta_.vetting = vetting_;
    delta_.Start(
        engine, connection, server, target, seed,
        [this](const DeltaDownload::Outcome& ended) { DeltaEnded(ended.result, ended.why); });
}

void ArchiveFlow::DeltaEnded(DeltaDownload::Result result, const TransferFailure& why) {
    switch (result) {
    case DeltaDownload::Result::Assembled:
        assembled_ = true;
        if (listed_) {
            if (const TransferFailure refused = ListedVerdict())
                DownloadWhole(refused.text);
            else
                Save();
        } else if (archive_->NeedsSignature()) {
            FetchSignature();
        } else {
            Save();
        }
        break;
    case DeltaDownload::Result::Whole:
        if (why)
            DownloadWhole(why.text);
        else
            FetchArchive();
        break;
    case DeltaDownload::Result::Failed:
        Fail(why, ServerPaths::archive);
        break;
    }
}

// The release list vouches for the archive's bytes, not for the ranges they
// came in: the assembled file is judged as a whole download's body would be.
TransferFailure ArchiveFlow::ListedVerdict() {
    std::unique_ptr<BodyCheck> check;
    TransferFailure refused = vetting_ ? vetting_(ServerPaths::archive, check) : TransferFailure();
    if (!refused && check) {
        DeltaReceiver& assembled = delta_.Receiver();
        refused = check->TakeKept(assembled.ReadablePath(), assembled.Size());
        if (!refused)
            refused = check->Verdict();
    }
    return refused;
}

void ArchiveFlow::DownloadWhole(const QByteArray& reason) {
    if (assembled_) {
        assembled_ = false;
        delta_.Release();
    }
    Note("Delta update failed (" +
         FailureReason::Joined(reason, "); downloading the whole archive."));
    FetchArchive();
}

void ArchiveFlow::Note(const QByteArray& line) {
    if (onNote)
        onNote(line);
}

void ArchiveFlow::FetchArchive(bool again) {
    cutWhole_ = false;
    engine_->FetchFile(
        *connection_, server_, ServerPaths::archive, *archive_,
        [this](const FetchResult& result) { ArchiveEnded(result); },
        Request(again,
                requireZip ? NotFoundRule::Fetched::ZipAnswer : NotFoundRule::Fetched::Binary));
}

// An archive cut short, too slow, or refused by its signature or the release
// list may be whole and sound on the next mirror: asked for there from its
// first byte, and its signature with it.
TransferEngine::Options ArchiveFlow::Request(bool again, NotFoundRule::Fetched fetched) const {
    using Kind = TransferFailure::Kind;
    TransferEngine::Options options;
    options.moveOn += {Kind::ClosedEarly, Kind::BadAnswer, Kind::Signature, Kind::Mismatch};
    options.continues = again;
    options.fetched = fetched;
    options.vetting = vetting_;
    return options;
}

bool ArchiveFlow::TriedNextServer(TransferFailure& failure) {
    if (!engine_->MoveOn(failure))
        return false;
    // Nothing of this try is kept: the file starts over, open.
    archive_->StartOver();
    FetchArchive(true);
    return true;
}

void ArchiveFlow::ArchiveEnded(const FetchResult& result) {
    cutWhole_ = result.cutWhole;
    TransferFailure failure = result.failure;
    if (TriedNextServer(failure))
        return;
    if (failure) {
        // A server that will not resume the kept part is asked for the whole archive.
        if (archive_->RestartWanted(result.status)) {
            archive_->StartOver();
            FetchArchive();
            return;
        }
        Fail(failure, ServerPaths::archive);
    } else if (result.notFound) {
        Fail({TransferFailure::Kind::NotFound, NotFoundRule::message}, ServerPaths::archive);
    } else if (requireZip && !result.declaresZip) {
        Fail({TransferFailure::Kind::NotArchive, "The server's answer is not an archive."},
             ServerPaths::archive);
    } else if (!listed_ && archive_->NeedsSignature()) {
        FetchSignature();
    } else {
        Save();
    }
}

void ArchiveFlow::FetchSignature() {
    engine_->FetchText(
        *connection_, server_, signaturePath, *text_,
        [this](const FetchResult& result) { SignatureEnded(result); },
        Request(true, NotFoundRule::Fetched::Text));
}

void ArchiveFlow::SignatureEnded(const FetchResult& result) {
    if (result.failure) {
        Fail(result.failure, signaturePath);
        return;
    }
    // A missing signature is its file's failure; a refusal is the archive's.
    if (result.notFound) {
        Fail({TransferFailure::Kind::Signature, "The archive has no signature on the server."},
             signaturePath);
        return;
    }
    const ArchiveVerifier::Verdict verdict =
        assembled_
            ? archive_->Verify(*text_, delta_.Receiver().ReadablePath(), delta_.Receiver().Size())
            : archive_->Verify(*text_);
    if (!verdict.Verified() && assembled_) {
        DownloadWhole(verdict.problem);
        return;
    }
    if (!verdict.Verified()) {
        TransferFailure refused{TransferFailure::Kind::Signature, verdict.problem};
        if (!TriedNextServer(refused))
            Fail(refused, ServerPaths::archive);
        return;
    }
    trustedComment_ = verdict.trustedComment;
    Save();
}

void ArchiveFlow::Save() {
    const std::int64_t length = assembled_ ? delta_.Receiver().Size() : archive_->Size();
    try {
        if (assembled_)
            delta_.Receiver().Commit();
        else
            archive_->Commit();
    } catch (const RuntimeError& e) {
        Fail(ArchiveDownload::CannotSave(e), ServerPaths::archive);
        return;
    }
    archive_.reset();
    delta_.Release();
    SeedArchive::Remember(target_);
    End({{}, ServerPaths::archive, trustedComment_, length});
}

void ArchiveFlow::Fail(const TransferFailure& failure, const QByteArray& path) {
    Release();
    End({failure, path, {}, 0});
}

void ArchiveFlow::Stopped() {
    if (engine_->Cancel())
        cutWhole_ = true;
    Release();
}

void ArchiveFlow::Release() {
    // A delta under way is let go; an ended one still holds its file.
    delta_.Cancel();
    delta_.Release();
    if (!archive_)
        return;
    archive_->Interrupt(cutWhole_);
    archive_.reset();
}
