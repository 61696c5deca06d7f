// One HTTP response read as it arrives. The status line and the header block
// are parsed once, when the blank line that ends them is in; after that each
// body byte is counted and handed to a sink, never gathered here. No I/O of
// its own, so every rule can be tested by feeding pieces.
#pragma once

#include "update/http/TransferFailure.h"

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <functional>

class HttpResponseReader {
public:
    // Takes the next body bytes; answers why they cannot be kept, or no failure.
    using Sink = std::function<TransferFailure(const char* data, qsizetype size)>;
    // Runs once when the head is in, before the first body byte; answers why
    // the response cannot succeed, or no failure.
    using HeadCheck = std::function<TransferFailure(const HttpResponseReader& response)>;

    // A head that has not ended by then never will.
    static constexpr qsizetype headLimit = 64 * 1024;

    // Starts a new response.
    void Reset(Sink sink, HeadCheck headCheck = {});

    // Takes one arrival. Answers why the response cannot succeed (an answer
    // that is not HTTP, an error status other than 404, a broken length, more
    // bytes than announced, a refusal of the sink or of the head check), or
    // no failure while it still can. The first failure is answered again for
    // anything fed after it.
    TransferFailure Feed(const char* data, qsizetype size);
    TransferFailure Feed(const QByteArray& data) { return Feed(data.constData(), data.size()); }

    bool HeadComplete() const { return headLength_ > 0; }
    // The head and every announced body byte are in.
    bool Complete() const { return HeadComplete() && received_ == ExpectedLength(); }
    bool Failed() const { return bool(failure_); }

    // Bytes fed so far, head included.
    std::int64_t Received() const { return received_; }
    // The head's length (with its blank line) plus the announced body; 0
    // until the head is in.
    std::int64_t ExpectedLength() const;
    std::int64_t BodyReceived() const { return HeadComplete() ? received_ - headLength_ : 0; }

    // Read from the head once it is in.
    int StatusCode() const { return statusCode_; }
    const QByteArray& StatusLine() const { return statusLine_; }
    // The announced body length; 0 when the header is absent.
    std::int64_t ContentLength() const { return contentLength_; }
    // The first value of a header, name in any case, without surrounding blanks.
    QByteArray Header(const QByteArray& name) const;

private:
    TransferFailure Fail(TransferFailure failure);
    TransferFailure TakeHead(const char* data, qsizetype size, qsizetype& used);
    TransferFailure ParseHead();
    TransferFailure TakeBody(const char* data, qsizetype size);

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
    std::int64_t headLength_ = 0;
    std::int64_t contentLength_ = 0;
    std::int64_t received_ = 0;
    int statusCode_ = 0;
};
