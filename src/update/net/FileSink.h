// Where a response's body goes when it is a file rather than a text: written
// as it arrives beside the file it is meant for. The archive's receiver is one.
#pragma once

#include "update/net/HttpResponseReader.h"
#include "update/net/TransferFailure.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

class FileSink {
public:
    virtual ~FileSink() = default;

    // The request's extra lines, such as a resumed part's range.
    virtual QByteArray RequestHeaders() const = 0;
    // The bytes the file held before this response's body: a resumed part.
    virtual std::int64_t Offset() const = 0;
    // Judges the response's head; answers why its body cannot be taken.
    virtual TransferFailure CheckHead(const HttpResponseReader& response) = 0;
    // Writes the next body bytes; answers why they cannot be kept.
    virtual TransferFailure Take(const char* data, qsizetype size) = 0;
    // The counts the windows show: the bytes so far (head included), the
    // file's bytes so far and its whole size once announced. By default a
    // resumed part and this response; a file put together at offsets counts
    // what it holds instead.
    virtual std::int64_t Received(const HttpResponseReader& response) const {
        return Offset() + response.Received();
    }
    // The bytes that show the transfer moving, for the rate floor: by default
    // all that arrived; a file put together at offsets counts the file bytes
    // it was sent, never framing or bytes sent twice.
    virtual std::int64_t Progress(const HttpResponseReader& response) const {
        return Received(response);
    }
    virtual std::int64_t FileReceived(const HttpResponseReader& response) const {
        return Offset() + response.BodyReceived();
    }
    virtual std::int64_t FileSize(const HttpResponseReader& response) const {
        const bool announced = response.HeadComplete() &&
                               response.BodyFraming() == HttpResponseReader::Framing::Length;
        return announced ? Offset() + response.ContentLength() : 0;
    }
    // The response ended without a save: what arrived may be kept for a
    // resume when it is `sound` (whole as far as it goes).
    virtual void Interrupt(bool sound) = 0;
    // Where the bytes before Offset() can be read back; empty without any.
    virtual QString ReadablePath() const { return {}; }
    // Requests of one fetch that share its connection, pipelined: each
    // answer in turn goes to this sink. `index` counts them from 0.
    virtual qsizetype Requests() const { return 1; }
    virtual QByteArray RequestHeadersOf(qsizetype /*index*/) const { return RequestHeaders(); }
    // Answer `index` (after the first) begins.
    virtual void Answering(qsizetype /*index*/) {}
    // The sink has all it wants of the fetch: it ends, the rest unread.
    virtual bool Enough() const { return false; }
    // False for a sink that asks for ranges of the file: their bodies are
    // not the file, so a check of the whole file cannot judge them.
    virtual bool TakesWholeFile() const { return true; }
};
