#include "update/ResponseGathering.h"

#include "update/HttpResponse.h"
#include "update/UpdateState.h"

namespace {

constexpr qsizetype notFoundSize = 13; // "404 not found"
constexpr char textTooLarge[] = "The server sent a text file larger than 1 MiB.";

} // namespace

void ResponseGathering::BeginText() {
    Begin(nullptr);
}

void ResponseGathering::BeginArchive(ArchiveReceiver& archive) {
    Begin(&archive);
}

void ResponseGathering::Begin(ArchiveReceiver* archive) {
    UpdateState& state = SharedState();
    state.SetResponse({});
    state.expectedLength = 0;
    state.transferDone = vbFalse;
    archive_ = archive;
    declaresZip_ = mentionsNotFound_ = false;
    scanTail_.clear();
    HttpResponseReader::Sink sink;
    if (archive)
        sink = [this](const char* data, qsizetype size) { return TakeArchive(data, size); };
    else
        sink = [this](const char* data, qsizetype size) { return TakeText(data, size); };
    reader_.Reset(std::move(sink), [this](const HttpResponseReader&) { return CheckHead(); });
}

QByteArray ResponseGathering::TakeArrival(const QByteArray& data) {
    return Settle(reader_.Feed(data));
}

QByteArray ResponseGathering::TakeClose(bool clean) {
    return Settle(reader_.TakeClose(clean));
}

QByteArray ResponseGathering::Settle(const QByteArray& failure) {
    UpdateState& state = SharedState();
    state.responseLength = reader_.Received() + (archive_ ? archive_->Offset() : 0);
    state.expectedLength = reader_.ExpectedLength();
    state.transferDone = failure.isEmpty() && reader_.Complete() ? vbTrue : vbFalse;
    if (state.transferDone == vbTrue && !archive_)
        mentionsNotFound_ = HttpResponse::ContainsNotFound(state.responseBuffer);
    return failure;
}

QByteArray ResponseGathering::CheckHead() {
    declaresZip_ = reader_.Header("content-type").toLower().startsWith("application/zip");
    const std::int64_t length = reader_.ContentLength();
    if (!archive_) {
        if (length > textLimit)
            return textTooLarge;
        SharedState().responseBuffer.reserve(qsizetype(length));
        return {};
    }
    return archive_->CheckHead(reader_);
}

QByteArray ResponseGathering::TakeText(const char* data, qsizetype size) {
    QByteArray& text = SharedState().responseBuffer;
    // A text without an announced length is held to the limit as it grows.
    if (size > textLimit - text.size())
        return textTooLarge;
    text.append(data, size);
    return {};
}

QByteArray ResponseGathering::TakeArchive(const char* data, qsizetype size) {
    // An answer not declared an archive is read for the not-found words as it
    // passes, including words split between two arrivals.
    if (!mentionsNotFound_ && !declaresZip_) {
        const QByteArray seam = scanTail_ + QByteArray::fromRawData(data, qMin(size, notFoundSize));
        mentionsNotFound_ = HttpResponse::ContainsNotFound(seam.constData(), seam.size()) ||
                            HttpResponse::ContainsNotFound(data, size);
        scanTail_.append(data + qMax<qsizetype>(0, size - notFoundSize), qMin(size, notFoundSize));
        scanTail_ = scanTail_.right(notFoundSize - 1);
    }
    return archive_->Take(data, size);
}

std::int64_t ResponseGathering::ArchiveReceived() const {
    return archive_ ? archive_->Offset() + reader_.BodyReceived() : 0;
}

std::int64_t ResponseGathering::ArchiveSize() const {
    const bool announced =
        reader_.HeadComplete() && reader_.BodyFraming() == HttpResponseReader::Framing::Length;
    return archive_ && announced ? archive_->Offset() + reader_.ContentLength() : 0;
}

bool ResponseGathering::NotFound() const {
    return reader_.StatusCode() == 404 || mentionsNotFound_;
}

void ResponseGathering::Release(std::unique_ptr<ArchiveReceiver>& archive) {
    if (!archive)
        return;
    if (archive_ == archive.get())
        Abandon();
    else
        archive->Interrupt(false);
    archive.reset();
}

void ResponseGathering::Abandon() {
    if (archive_)
        archive_->Interrupt(reader_.HeadComplete() && !reader_.Failed() && !reader_.Complete());
    archive_ = nullptr;
}
