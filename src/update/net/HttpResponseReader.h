// One HTTP response read as it arrives. The status line and the header block
// are parsed once, when the blank line that ends them is in; after that each
// body byte is counted and handed to a sink, never gathered here. The body
// ends where the head says (RFC 9112 section 6.3): after the announced
// length, after the last chunk of a chunked body, or, with neither, when the
// server closes. No I/O of its own, so every rule can be tested by feeding
// pieces.
#pragma once

#include "update/net/TransferFailure.h"

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <functional>
#include <utility>

class HttpResponseReader {
public:
    // Takes the next body bytes; answers why they cannot be kept, or no failure.
    using Sink = std::function<TransferFailure(const char* data, qsizetype size)>;
    // Runs once when the head is in, before the first body byte; answers why
    // the response cannot succeed, or no failure.
    using HeadCheck = std::function<TransferFailure(const HttpResponseReader& response)>;

    // How the end of the body is told.
    enum class Framing { Length, Chunked, UntilClose };

    // A head that has not ended by then never will; 1xx heads before it count too.
    static constexpr qsizetype headLimit = 64 * 1024;
    static constexpr char closedEarly[] = "The server closed the connection early.";

    // Starts a new response.
    void Reset(Sink sink, HeadCheck headCheck = {});
    // Another answer follows on the connection (pipelined): bytes after a
    // body framed by its length or its last chunk are kept for it rather
    // than refused.
    void KeepExcess() { keepExcess_ = true; }
    // The bytes after the complete body, kept by KeepExcess.
    QByteArray TakeExcess() { return std::exchange(excess_, {}); }

    // Takes one arrival. Answers why the response cannot succeed (an answer
    // that is not HTTP, an error status other than 404, a broken length or
    // chunk, more bytes than announced, a refusal of the sink or of the head
    // check), or no failure while it still can. The first failure is
    // answered again for anything fed after it.
    TransferFailure Feed(const char* data, qsizetype size);
    TransferFailure Feed(const QByteArray& data) { return Feed(data.constData(), data.size()); }
    // The server closed the connection: the end of a body framed by the
    // close, a cut-off for anything still open. `clean` is false when the
    // connection cannot vouch that the close was the server's own (over TLS,
    // a close without close_notify): then no body ends by it. A cut-off is
    // answered without failing the reader, as the bytes before it stand.
    TransferFailure TakeClose(bool clean = true);

    bool HeadComplete() const { return headLength_ > 0; }
    // The head and the whole body are in, and nothing more.
    bool Complete() const { return complete_ && !Failed(); }
    bool Failed() const { return bool(failure_); }

    // Bytes fed so far, heads and chunk framing included.
    std::int64_t Received() const { return received_; }
    // The heads' length (with their blank lines) plus the announced body;
    // for a body without a length, what was received once it is complete;
    // 0 while not known.
    std::int64_t ExpectedLength() const;
    // The body's own bytes handed on so far.
    std::int64_t BodyReceived() const { return bodyReceived_; }

    // Read from the head once it is in.
    int StatusCode() const { return statusCode_; }
    const QByteArray& StatusLine() const { return statusLine_; }
    Framing BodyFraming() const { return framing_; }
    // The announced body length; 0 when the body is not framed by a length.
    std::int64_t ContentLength() const { return contentLength_; }
    // The first value of a header, name in any case, without surrounding blanks.
    QByteArray Header(const QByteArray& name) const;

private:
    enum class ChunkPart { SizeLine, Data, DataEnd, Trailer, Done };

    TransferFailure Fail(TransferFailure failure);
    TransferFailure TakeHead(const char* data, qsizetype size, qsizetype& used);
    TransferFailure ParseHead();
    TransferFailure ReadFraming();
    TransferFailure TakeBody(const char* data, qsizetype size);
    TransferFailure TakeChunked(const char* data, qsizetype size);
    TransferFailure TakeChunkLine(const QByteArray& line);
    TransferFailure PastTheBody(const char* data, qsizetype size);
    TransferFailure Pass(const char* data, qsizetype size);

    struct Field {
        QByteArray name; // lower case
        QByteArray value;
    };

    Sink sink_;
    HeadCheck headCheck_;
    QByteArray head_; // until the blank line; kept small by headLimit
    QList<Field> fields_;
    QByteArray statusLine_;
    TransferFailure failure_;
    QByteArray chunkLine_;           // a chunk's size line or a trailer line so far
    std::int64_t interimLength_ = 0; // 1xx heads skipped before the real one
    std::int64_t headLength_ = 0;    // all heads, the real one included
    std::int64_t contentLength_ = 0;
    std::int64_t chunkLeft_ = 0;
    std::int64_t trailerLength_ = 0;
    std::int64_t received_ = 0;
    std::int64_t bodyReceived_ = 0;
    int statusCode_ = 0;
    Framing framing_ = Framing::Length;
    ChunkPart chunkPart_ = ChunkPart::SizeLine;
    bool complete_ = false;
    bool keepExcess_ = false;
    QByteArray excess_;
};
