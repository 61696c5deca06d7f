#include "update/net/ResponseGathering.h"

namespace {

constexpr qsizetype notFoundSize = 13; // "404 not found"

TransferFailure TextTooLarge(qsizetype limit) {
    const QByteArray size = limit == ResponseGathering::textLimit
                                ? QByteArray("1 MiB")
                                : QByteArray::number(limit) + " bytes";
    return {TransferFailure::Kind::TooLarge,
            "The server sent a text file larger than " + size + '.'};
}

} // namespace

void ResponseGathering::BeginText(QByteArray& text, qsizetype limit) {
    check_.reset();
    fetched_ = NotFoundRule::Fetched::Text;
    text.clear();
    text_ = &text;
    textLimit_ = limit;
    file_ = nullptr;
    answer_ = 0;
    Begin();
}

void ResponseGathering::BeginFile(FileSink& file) {
    check_.reset();
    fetched_ = NotFoundRule::Fetched::Text;
    text_ = nullptr;
    file_ = &file;
    answer_ = 0;
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
    if (answer_ + 1 < Answers())
        reader_.KeepExcess();
}

bool ResponseGathering::NextAnswer(QByteArray& rest) {
    if (!Complete() || answer_ + 1 >= Answers() || Enough())
        return false;
    rest = reader_.TakeExcess();
    ++answer_;
    Begin();
    file_->Answering(answer_);
    return true;
}

TransferFailure ResponseGathering::TakeArrival(const QByteArray& data) {
    return Settle(reader_.Feed(data));
}

TransferFailure ResponseGathering::TakeClose(bool clean) {
    return Settle(reader_.TakeClose(clean));
}

TransferFailure ResponseGathering::Settle(TransferFailure failure) {
    if (failure || !reader_.Complete())
        return failure;
    if (text_ && NotFoundRule::WordsCount(fetched_, declaresZip_))
        mentionsNotFound_ = NotFoundRule::Matches(*text_);
    if (check_) {
        // Judged once: the body is whole.
        failure = check_->Verdict();
        check_.reset();
    }
    return failure;
}

std::int64_t ResponseGathering::Received() const {
    return file_ ? file_->Received(reader_) : reader_.Received();
}

std::int64_t ResponseGathering::Progress() const {
    return file_ ? file_->Progress(reader_) : reader_.Received();
}

TransferFailure ResponseGathering::CheckHead() {
    declaresZip_ = reader_.Header("content-type").toLower().startsWith("application/zip");
    const std::int64_t length = reader_.ContentLength();
    if (check_) {
        if (TransferFailure failure = check_->TakeHead(reader_))
            return failure;
    }
    if (file_) {
        TransferFailure failure = file_->CheckHead(reader_);
        if (!failure && check_ && file_->Offset() > 0)
            failure = check_->TakeKept(file_->ReadablePath(), file_->Offset());
        return failure;
    }
    if (length > textLimit_)
        return TextTooLarge(textLimit_);
    text_->reserve(qsizetype(length));
    return {};
}

TransferFailure ResponseGathering::TakeText(const char* data, qsizetype size) {
    // A text without an announced length is held to the limit as it grows.
    if (size > textLimit_ - text_->size())
        return TextTooLarge(textLimit_);
    if (check_) {
        if (TransferFailure failure = check_->Take(data, size))
            return failure;
    }
    text_->append(data, size);
    return {};
}

TransferFailure ResponseGathering::TakeFile(const char* data, qsizetype size) {
    if (check_) {
        if (TransferFailure failure = check_->Take(data, size))
            return failure;
    }
    // An answer whose words count is read for them as it passes, including
    // words split between two arrivals.
    if (!mentionsNotFound_ && NotFoundRule::WordsCount(fetched_, declaresZip_)) {
        const QByteArray seam = scanTail_ + QByteArray::fromRawData(data, qMin(size, notFoundSize));
        mentionsNotFound_ = NotFoundRule::Matches(seam.constData(), seam.size()) ||
                            NotFoundRule::Matches(data, size);
        scanTail_.append(data + qMax<qsizetype>(0, size - notFoundSize), qMin(size, notFoundSize));
        scanTail_ = scanTail_.right(notFoundSize - 1);
    }
    return file_->Take(data, size);
}

std::int64_t ResponseGathering::FileReceived() const {
    return file_ ? file_->FileReceived(reader_) : 0;
}

std::int64_t ResponseGathering::FileSize() const {
    return file_ ? file_->FileSize(reader_) : 0;
}

bool ResponseGathering::NotFound() const {
    return NotFoundRule::Missing(fetched_, reader_.StatusCode(), mentionsNotFound_, declaresZip_);
}

bool ResponseGathering::CutWhole() const {
    return file_ != nullptr && reader_.HeadComplete() && !reader_.Failed() && !reader_.Complete();
}
