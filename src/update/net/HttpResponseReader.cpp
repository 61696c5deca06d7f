#include "update/net/HttpResponseReader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace {

constexpr char statusPrefix[] = "HTTP/";
constexpr qsizetype statusPrefixSize = qsizetype(sizeof statusPrefix) - 1;
constexpr char brokenChunk[] = "The server's chunked answer is broken.";
constexpr char tooLarge[] = "The server announced a file too large to take.";
constexpr std::int64_t maxLength = std::numeric_limits<std::int64_t>::max();

bool AcceptableStatus(int code) {
    // A 404 still has a body: the caller decides what "not found" means for
    // it. 204 and 205 never have one, and an empty body is no file.
    return (code >= 200 && code < 300 && code != 204 && code != 205) || code == 404;
}

// An answer before the real one (100 Continue, 103 Early Hints). A switch of
// protocols was never asked for, so it is no such answer.
bool Interim(int code) {
    return code >= 100 && code < 200 && code != 101;
}

bool Digit(char c) {
    return c >= '0' && c <= '9';
}

int ReadStatusCode(const QByteArray& line) {
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() < 2 || !parts[0].startsWith(statusPrefix) || parts[1].size() != 3 ||
        !std::all_of(parts[1].begin(), parts[1].end(), Digit))
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

int HexValue(char c) {
    if (Digit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

TransferFailure BadAnswer(const char* text) {
    return {TransferFailure::Kind::BadAnswer, text};
}

TransferFailure TooLarge() {
    return {TransferFailure::Kind::TooLarge, tooLarge};
}

} // namespace

void HttpResponseReader::Reset(Sink sink, HeadCheck headCheck) {
    *this = HttpResponseReader();
    sink_ = std::move(sink);
    headCheck_ = std::move(headCheck);
}

std::int64_t HttpResponseReader::ExpectedLength() const {
    if (!HeadComplete())
        return 0;
    if (framing_ == Framing::Length)
        return headLength_ + contentLength_;
    return complete_ ? received_ : 0;
}

QByteArray HttpResponseReader::Header(const QByteArray& name) const {
    const QByteArray wanted = name.toLower();
    for (const Field& field : fields_) {
        if (field.name == wanted)
            return field.value;
    }
    return {};
}

TransferFailure HttpResponseReader::Fail(TransferFailure reason) {
    if (!failure_)
        failure_ = std::move(reason);
    return failure_;
}

TransferFailure HttpResponseReader::Feed(const char* data, qsizetype size) {
    if (Failed())
        return failure_;
    received_ += size;
    qsizetype used = 0;
    // More than one head may end in one arrival: 1xx answers go before the real one.
    while (!HeadComplete()) {
        qsizetype taken = 0;
        if (TransferFailure failure = TakeHead(data + used, size - used, taken))
            return Fail(std::move(failure));
        used += taken;
        if (used == size)
            return {};
    }
    if (used == size)
        return {};
    return TakeBody(data + used, size - used);
}

TransferFailure HttpResponseReader::TakeClose(bool clean) {
    if (Failed() || complete_)
        return failure_;
    if (HeadComplete() && framing_ == Framing::UntilClose && clean) {
        complete_ = true;
        return {};
    }
    // Not a failure of the reader: what arrived is as good as it was, and
    // may be kept for a resume.
    return {TransferFailure::Kind::ClosedEarly, closedEarly};
}

// Adds to the head until its blank line; `used` is how much of the data it took.
TransferFailure HttpResponseReader::TakeHead(const char* data, qsizetype size, qsizetype& used) {
    // Only the new bytes and the three before them can complete the blank line.
    const qsizetype before = head_.size();
    const qsizetype searchFrom = std::max<qsizetype>(0, before - 3);
    const qsizetype room = std::max<qsizetype>(0, headLimit - interimLength_ - before);
    head_.append(data, std::min(size, room));
    if (std::memcmp(head_.constData(), statusPrefix,
                    size_t(std::min(head_.size(), statusPrefixSize))) != 0)
        return BadAnswer("The server's answer is not HTTP.");
    const qsizetype blank = head_.indexOf("\r\n\r\n", searchFrom);
    if (blank < 0) {
        used = size;
        if (interimLength_ + head_.size() >= headLimit)
            return BadAnswer("The server's header block is too long.");
        return {};
    }
    used = blank + 4 - before;
    head_.truncate(blank + 4);
    return ParseHead();
}

TransferFailure HttpResponseReader::ParseHead() {
    const qsizetype length = head_.size();
    const QList<QByteArray> lines = head_.left(length - 4).split('\n');
    head_.clear();
    statusLine_ = lines.first();
    if (statusLine_.endsWith('\r'))
        statusLine_.chop(1);
    statusCode_ = ReadStatusCode(statusLine_);
    if (statusCode_ == 0)
        return BadAnswer("The server's answer is not HTTP.");
    if (Interim(statusCode_)) {
        interimLength_ += length;
        return {};
    }
    headLength_ = interimLength_ + length;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            fields_.append({line.left(colon).trimmed().toLower(), Blankless(line.mid(colon + 1))});
    }
    if (!AcceptableStatus(statusCode_))
        return {statusCode_ >= 500 ? TransferFailure::Kind::ServerError
                                   : TransferFailure::Kind::Status,
                statusLine_};
    if (TransferFailure failure = ReadFraming())
        return failure;
    if (headCheck_)
        return headCheck_(*this);
    return {};
}

// RFC 9112 section 6.3: chunks first, whatever length is also announced;
// then the length, which must be one number however often it is given;
// with neither, the body runs to the close.
TransferFailure HttpResponseReader::ReadFraming() {
    QList<QByteArray> codings;
    QList<QByteArray> lengths;
    for (const Field& field : fields_) {
        if (field.name != "transfer-encoding" && field.name != "content-length")
            continue;
        QList<QByteArray>& values = field.name == "content-length" ? lengths : codings;
        for (const QByteArray& value : field.value.split(','))
            values.append(Blankless(value));
    }
    codings.removeAll(QByteArray());
    if (!codings.isEmpty()) {
        // Nothing but chunks was asked for; any other coding would be saved undecoded.
        if (codings.size() != 1 || codings.first().toLower() != "chunked")
            return BadAnswer("The server sent a transfer coding KORU cannot read.");
        framing_ = Framing::Chunked;
        return {};
    }
    if (lengths.isEmpty()) {
        framing_ = Framing::UntilClose;
        return {};
    }
    for (const QByteArray& length : lengths) {
        if (length != lengths.first() || length.isEmpty() ||
            !std::all_of(length.begin(), length.end(), Digit))
            return BadAnswer("The server announced no valid length.");
    }
    for (const char c : lengths.first()) {
        const int digit = c - '0';
        if (contentLength_ > (maxLength - digit) / 10)
            return TooLarge();
        contentLength_ = contentLength_ * 10 + digit;
    }
    if (contentLength_ > maxLength - headLength_)
        return TooLarge();
    complete_ = contentLength_ == 0;
    return {};
}

TransferFailure HttpResponseReader::TakeBody(const char* data, qsizetype size) {
    switch (framing_) {
    case Framing::Length:
        if (size > contentLength_ - bodyReceived_) {
            const qsizetype body = qsizetype(contentLength_ - bodyReceived_);
            if (TransferFailure failure = PastTheBody(data + body, size - body))
                return failure;
            size = body;
        }
        if (TransferFailure refused = Pass(data, size))
            return refused;
        complete_ = bodyReceived_ == contentLength_;
        return {};
    case Framing::UntilClose:
        return Pass(data, size);
    case Framing::Chunked:
        return TakeChunked(data, size);
    }
    return {};
}

// Bytes past the end of the body: the next pipelined answer's when one is
// due, however this one was framed.
TransferFailure HttpResponseReader::PastTheBody(const char* data, qsizetype size) {
    if (!keepExcess_)
        return Fail(BadAnswer("The server sent more than it announced."));
    excess_.append(data, size);
    received_ -= size;
    return {};
}

TransferFailure HttpResponseReader::Pass(const char* data, qsizetype size) {
    bodyReceived_ += size;
    if (TransferFailure refused = sink_ ? sink_(data, size) : TransferFailure())
        return Fail(std::move(refused));
    return {};
}

// Chunk data goes to the sink as it passes; only the size lines, the line
// ends after the data and the trailers are gathered, each up to headLimit.
TransferFailure HttpResponseReader::TakeChunked(const char* data, qsizetype size) {
    while (size > 0) {
        if (chunkPart_ == ChunkPart::Done)
            return PastTheBody(data, size);
        if (chunkPart_ == ChunkPart::Data) {
            const qsizetype piece = qsizetype(std::min<std::int64_t>(size, chunkLeft_));
            if (TransferFailure refused = Pass(data, piece))
                return refused;
            chunkLeft_ -= piece;
            data += piece;
            size -= piece;
            if (chunkLeft_ == 0)
                chunkPart_ = ChunkPart::DataEnd;
            continue;
        }
        const char* end = static_cast<const char*>(std::memchr(data, '\n', size_t(size)));
        const qsizetype piece = end ? qsizetype(end - data) : size;
        chunkLine_.append(data, std::min(piece, headLimit - chunkLine_.size()));
        if (chunkLine_.size() >= headLimit)
            return Fail(BadAnswer(brokenChunk));
        if (!end)
            return {};
        data += piece + 1;
        size -= piece + 1;
        QByteArray line = std::exchange(chunkLine_, {});
        if (line.endsWith('\r'))
            line.chop(1);
        if (TransferFailure failure = TakeChunkLine(line))
            return Fail(std::move(failure));
    }
    return {};
}

TransferFailure HttpResponseReader::TakeChunkLine(const QByteArray& line) {
    switch (chunkPart_) {
    case ChunkPart::SizeLine: {
        qsizetype i = 0;
        for (int digit = 0; i < line.size() && (digit = HexValue(line[i])) >= 0; ++i) {
            if (chunkLeft_ > (maxLength - digit) / 16)
                return TooLarge();
            chunkLeft_ = chunkLeft_ * 16 + digit;
        }
        // Extensions after the size are allowed, and meaningless to us.
        const QByteArray rest = Blankless(line.mid(i));
        if (i == 0 || (!rest.isEmpty() && !rest.startsWith(';')))
            return BadAnswer(brokenChunk);
        chunkPart_ = chunkLeft_ > 0 ? ChunkPart::Data : ChunkPart::Trailer;
        return {};
    }
    case ChunkPart::DataEnd:
        if (!line.isEmpty())
            return BadAnswer(brokenChunk);
        chunkPart_ = ChunkPart::SizeLine;
        return {};
    case ChunkPart::Trailer:
        // Trailer fields are read past: nothing here depends on them. Like a
        // head, they end within headLimit.
        trailerLength_ += line.size() + 2;
        if (trailerLength_ > headLimit)
            return BadAnswer(brokenChunk);
        if (line.isEmpty()) {
            chunkPart_ = ChunkPart::Done;
            complete_ = true;
        }
        return {};
    case ChunkPart::Data:
    case ChunkPart::Done:
        break;
    }
    return {};
}
