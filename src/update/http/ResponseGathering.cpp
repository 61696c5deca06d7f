#include "update/http/ResponseGathering.h"

#include "update/http/NotFoundRule.h"

namespace {

constexpr qsizetype notFoundSize = 13; // "404 not found"

} // namespace

void ResponseGathering::BeginText(QByteArray& text) {
    text.clear();
    text_ = &text;
    file_ = nullptr;
    Begin();
}

void ResponseGathering::BeginFile(FileSink& file) {
    text_ = nullptr;
    file_ = &file;
    Begin();
}

void ResponseGathering::Restart() {
    if (text_)
        text_->clear();
    Begin();
}

void ResponseGathering::Begin() {
    declaresZip_ = mentionsNotFound_ = false;
    scanTail_.clear();
    HttpResponseReader::Sink sink;
    if (file_)
        sink = [this](const char* data, qsizetype size) { return TakeFile(data, size); };
    else
        sink = [this](const char* data, qsizetype size) { return TakeText(data, size); };
    reader_.Reset(std::move(sink), [this](const HttpResponseReader&) { return CheckHead(); });
}

TransferFailure ResponseGathering::TakeArrival(const QByteArray& data) {
    TransferFailure failure = reader_.Feed(data);
    if (!failure && text_ && reader_.Complete())
        mentionsNotFound_ = NotFoundRule::Matches(*text_);
    return failure;
}

std::int64_t ResponseGathering::Received() const {
    return reader_.Received() + (file_ ? file_->Offset() : 0);
}

TransferFailure ResponseGathering::CheckHead() {
    declaresZip_ = reader_.Header("content-type").toLower().startsWith("application/zip");
    const std::int64_t length = reader_.ContentLength();
    if (file_)
        return file_->CheckHead(reader_);
    if (length > textLimit)
        return {TransferFailure::Kind::TooLarge, "The server sent a text file larger than 1 MiB."};
    text_->reserve(qsizetype(length));
    return {};
}

TransferFailure ResponseGathering::TakeText(const char* data, qsizetype size) {
    text_->append(data, size);
    return {};
}

TransferFailure ResponseGathering::TakeFile(const char* data, qsizetype size) {
    // An answer not declared an archive is read for the not-found words as it
    // passes, including words split between two arrivals.
    if (!mentionsNotFound_ && !declaresZip_) {
        const QByteArray seam = scanTail_ + QByteArray::fromRawData(data, qMin(size, notFoundSize));
        mentionsNotFound_ = NotFoundRule::Matches(seam.constData(), seam.size()) ||
                            NotFoundRule::Matches(data, size);
        scanTail_.append(data + qMax<qsizetype>(0, size - notFoundSize), qMin(size, notFoundSize));
        scanTail_ = scanTail_.right(notFoundSize - 1);
    }
    return file_->Take(data, size);
}

std::int64_t ResponseGathering::FileReceived() const {
    return file_ ? file_->Offset() + reader_.BodyReceived() : 0;
}

std::int64_t ResponseGathering::FileSize() const {
    return file_ && reader_.HeadComplete() ? file_->Offset() + reader_.ContentLength() : 0;
}

bool ResponseGathering::NotFound() const {
    return reader_.StatusCode() == 404 || mentionsNotFound_;
}

void ResponseGathering::Abandon() {
    if (file_)
        file_->Interrupt(reader_.HeadComplete() && !reader_.Failed() && !reader_.Complete());
    file_ = nullptr;
}
