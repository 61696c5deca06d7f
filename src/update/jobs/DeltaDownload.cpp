#include "update/jobs/DeltaDownload.h"

#include "update/delta/RangePlan.h"
#include "update/files/ArchiveDownload.h"
#include "update/formats/ServerPaths.h"
#include "update/formats/SizeText.h"

namespace {

QByteArray ReuseLine(qint64 known, qint64 length, qint64 fetch) {
    return "Reusing " + QByteArray::number(known * 100 / length) +
           " % of the previous archive; fetching " + SizeText(fetch) + '.';
}

} // namespace

DeltaDownload::DeltaDownload() {
    slicer_.callOnTimeout([this] { ScanSlice(); });
}

void DeltaDownload::Start(TransferEngine& engine, Connection& connection, const QByteArray& server,
                          const QString& target, const QString& seed, EndHandler onEnd) {
    engine_ = &engine;
    connection_ = &connection;
    server_ = server;
    target_ = target;
    seed_ = seed;
    Begin(std::move(onEnd));
    Release();
    TransferEngine::Options options;
    options.limit = ZsyncControl::maxSize;
    options.vetting = vetting;
    engine.FetchText(
        connection, server, ServerPaths::archiveControl, controlText_,
        [this](const FetchResult& result) { ControlEnded(result); }, options);
}

void DeltaDownload::ControlEnded(const FetchResult& result) {
    mirror_ = result.server;
    // No control file, or none we can read: the archive comes whole, as without a seed.
    if (result.failure || result.status != 200 || !control_.Read(controlText_).isEmpty()) {
        controlText_.clear();
        End(Result::Whole);
        return;
    }
    controlText_.clear();
    if (listedLength >= 0 && listedLength != control_.Length()) {
        GiveUp(DeltaReceiver::staleControl);
        return;
    }
    try {
        scan_.emplace(control_, seed_);
    } catch (const RuntimeError&) {
        End(Result::Whole); // a seed that cannot be read gives nothing
        return;
    }
    slicer_.start(0);
}

void DeltaDownload::ScanSlice() {
    bool done = false;
    try {
        done = scan_->Step();
    } catch (const RuntimeError&) {
        Release();
        End(Result::Whole);
        return;
    }
    if (!done)
        return;
    slicer_.stop();
    Assemble();
}

void DeltaDownload::Assemble() {
    const qint64 known = scan_->KnownBytes();
    if (known == 0) {
        Release();
        End(Result::Whole);
        return;
    }
    const RangePlan plan(scan_->SeedOffsets(), control_.Blocksize(), control_.Length());
    try {
        receiver_ = std::make_unique<DeltaReceiver>(target_, control_);
        if (listedLength >= 0)
            receiver_->Reserve(); // the list vouches for the length
        receiver_->CopySeedBlocks(seed_, scan_->SeedOffsets());
    } catch (const RuntimeError& e) {
        Release();
        End(Result::Failed, ArchiveDownload::CannotSave(e));
        return;
    }
    scan_.reset();
    if (oneRangeServers_.contains(mirror_))
        AskOneEach();
    else
        for (qsizetype i = 0; i < plan.Requests().size(); ++i)
            pending_.append(plan.Header(i));
    // A control file alone never says what the archive is: with nothing to
    // fetch, the server's tail of it must match.
    if (pending_.isEmpty() && listedLength < 0)
        pending_.append(DeltaReceiver::TailRange());
    if (onReusing)
        onReusing(ReuseLine(known, control_.Length(), plan.FetchBytes()));
    FetchNext();
}

void DeltaDownload::FetchNext() {
    if (pending_.isEmpty()) {
        const QByteArray wrong = receiver_->Check();
        if (wrong.isEmpty())
            End(Result::Assembled);
        else
            GiveUp(wrong);
        return;
    }
    if (oneEach_) {
        receiver_->AskEach(std::exchange(pending_, {}));
    } else {
        const QByteArray ranges = pending_.takeFirst();
        if (ranges == DeltaReceiver::TailRange())
            receiver_->AskTail();
        else
            receiver_->Ask(ranges);
    }
    TransferEngine::Options options;
    options.fetched = NotFoundRule::Fetched::Binary; // the archive's parts
    options.vetting = vetting;
    engine_->FetchFile(
        *connection_, server_, ServerPaths::archive, *receiver_,
        [this](const FetchResult& result) { RangesEnded(result); }, options);
}

// What is still missing, one range per request on one connection.
void DeltaDownload::AskOneEach() {
    oneEach_ = true;
    const RangePlan plan(receiver_->Written(), control_.Length(), RangePlan::OneRangeEach());
    pending_.clear();
    for (qsizetype i = 0; i < plan.Requests().size(); ++i)
        pending_.append(plan.Header(i));
}

void DeltaDownload::RangesEnded(const FetchResult& result) {
    const TransferFailure& failure = result.failure;
    // An answer refused (416 and the like) or unusable: the whole archive may still come.
    if (failure.kind == TransferFailure::Kind::BadAnswer ||
        failure.kind == TransferFailure::Kind::Status) {
        GiveUp(failure.text);
        return;
    }
    if (failure) {
        Release();
        End(Result::Failed, failure);
        return;
    }
    mirror_ = result.server;
    if (!receiver_->AnswerComplete() && !receiver_->Enough()) {
        GiveUp("the server's answer ended early");
        return;
    }
    if (receiver_->Kind() == MultipartReader::Shape::Whole && receiver_->AnswerComplete()) {
        pending_.clear(); // the whole archive came: nothing is left to ask
    } else if (receiver_->Kind() != MultipartReader::Shape::Multipart &&
               receiver_->AskedSeveral()) {
        // Several ranges answered with the first, or with the start of the
        // whole file (kept as far as it was read): for the rest of the run
        // this server is asked one range per request.
        oneRangeServers_.insert(mirror_);
        AskOneEach();
    }
    FetchNext();
}

void DeltaDownload::GiveUp(const QByteArray& reason) {
    Release();
    End(Result::Whole, {TransferFailure::Kind::BadAnswer, reason});
}

void DeltaDownload::Release() {
    slicer_.stop();
    scan_.reset();
    pending_.clear();
    oneEach_ = false;
    receiver_.reset();
}
