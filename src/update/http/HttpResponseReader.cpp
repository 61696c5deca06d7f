#include "update/http/HttpResponseReader.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr char statusPrefix[] = "HTTP/";
constexpr qsizetype statusPrefixSize = qsizetype(sizeof statusPrefix) - 1;

bool AcceptableStatus(int code) {
    // A 404 still has a body: the caller decides what "not found" means for it.
    return (code >= 200 && code < 300) || code == 404;
}

int ReadStatusCode(const QByteArray& line) {
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() < 2 || !parts[0].startsWith(statusPrefix) || parts[1].size() != 3 ||
        !std::all_of(parts[1].begin(), parts[1].end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    return parts[1].toInt();
}

QByteArray Blankless(const QByteArray& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return text.mid(begin, end - begin);
}

TransferFailure BadAnswer(const char* text) {
    return {TransferFailure::Kind::BadAnswer, text};
}

} // namespace

void HttpResponseReader::Reset(Sink sink, HeadCheck headCheck) {
    *this = HttpResponseReader();
    sink_ = std::move(sink);
    headCheck_ = std::move(headCheck);
}

std::int64_t HttpResponseReader::ExpectedLength() const {
    return HeadComplete() ? headLength_ + contentLength_ : 0;
}

QByteArray HttpResponseReader::Header(const QByteArray& name) const {
    const QByteArray wanted = name.toLower();
    for (const Field& field : fields_) {
        if (field.name == wanted)
            return field.value;
    }
    return {};
}

TransferFailure HttpResponseReader::Fail(TransferFailure failure) {
    if (!failure_)
        failure_ = std::move(failure);
    return failure_;
}

TransferFailure HttpResponseReader::Feed(const char* data, qsizetype size) {
    if (Failed())
        return failure_;
    received_ += size;
    qsizetype used = 0;
    if (!HeadComplete()) {
        if (TransferFailure failure = TakeHead(data, size, used))
            return Fail(std::move(failure));
        if (!HeadComplete())
            return {};
    }
    if (used == size)
        return {};
    return TakeBody(data + used, size - used);
}

// Adds to the head until its blank line; `used` is how much of the data it took.
TransferFailure HttpResponseReader::TakeHead(const char* data, qsizetype size, qsizetype& used) {
    // Only the new bytes and the three before them can complete the blank line.
    const qsizetype searchFrom = std::max<qsizetype>(0, head_.size() - 3);
    const qsizetype room = headLimit - head_.size();
    head_.append(data, std::min(size, room));
    if (std::memcmp(head_.constData(), statusPrefix,
                    size_t(std::min(head_.size(), statusPrefixSize))) != 0)
        return BadAnswer("The server's answer is not HTTP.");
    const qsizetype blank = head_.indexOf("\r\n\r\n", searchFrom);
    if (blank < 0) {
        used = size;
        if (head_.size() >= headLimit)
            return BadAnswer("The server's header block is too long.");
        return {};
    }
    const qsizetype ownBytes = blank + 4 - (head_.size() - std::min(size, room));
    used = ownBytes;
    head_.truncate(blank + 4);
    headLength_ = head_.size();
    return ParseHead();
}

TransferFailure HttpResponseReader::ParseHead() {
    const QList<QByteArray> lines = head_.left(head_.size() - 4).split('\n');
    statusLine_ = lines.first();
    if (statusLine_.endsWith('\r'))
        statusLine_.chop(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            fields_.append({line.left(colon).trimmed().toLower(), Blankless(line.mid(colon + 1))});
    }
    head_.clear();

    statusCode_ = ReadStatusCode(statusLine_);
    if (statusCode_ == 0)
        return BadAnswer("The server's answer is not HTTP.");
    if (!AcceptableStatus(statusCode_))
        return {statusCode_ >= 500 ? TransferFailure::Kind::ServerError
                                   : TransferFailure::Kind::Status,
                statusLine_};

    // Digits up to the first other character, as lenient as servers need;
    // a length with no digits at all is no length.
    const QByteArray length = Header("content-length");
    if (!length.isEmpty()) {
        qsizetype i = 0;
        for (; i < length.size() && length[i] >= '0' && length[i] <= '9'; ++i) {
            const int digit = length[i] - '0';
            if (contentLength_ > (std::numeric_limits<std::int64_t>::max() - digit) / 10)
                return {TransferFailure::Kind::TooLarge,
                        "The server announced a file too large to take."};
            contentLength_ = contentLength_ * 10 + digit;
        }
        if (i == 0)
            return BadAnswer("The server announced no valid length.");
    }
    if (contentLength_ > std::numeric_limits<std::int64_t>::max() - headLength_)
        return {TransferFailure::Kind::TooLarge, "The server announced a file too large to take."};
    if (headCheck_)
        return headCheck_(*this);
    return {};
}

TransferFailure HttpResponseReader::TakeBody(const char* data, qsizetype size) {
    if (received_ > ExpectedLength())
        return Fail(BadAnswer("The server sent more than it announced."));
    if (TransferFailure refused = sink_ ? sink_(data, size) : TransferFailure())
        return Fail(std::move(refused));
    return {};
}
