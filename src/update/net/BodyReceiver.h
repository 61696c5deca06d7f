// The receiving role of a file sink: judges each answer's head and keeps its
// body bytes.
#pragma once

#include "update/net/HttpResponseReader.h"
#include "update/net/TransferFailure.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

class BodyReceiver {
public:
    virtual ~BodyReceiver();

    // The bytes the file held before this response's body: a resumed part.
    virtual std::int64_t Offset() const = 0;
    // Where the bytes before Offset() can be read back; empty without any.
    virtual QString ReadablePath() const { return {}; }
    // Judges the response's head; answers why its body cannot be taken.
    virtual TransferFailure CheckHead(const HttpResponseReader& response) = 0;
    // Writes the next body bytes; answers why they cannot be kept.
    virtual TransferFailure Take(const char* data, qsizetype size) = 0;
    // Answer `index` (after the first) of a pipelined fetch begins.
    virtual void Answering(qsizetype /*index*/) {}
    // The sink has all it wants of the fetch: it ends, the rest unread.
    virtual bool Enough() const { return false; }
    // The response ended without a save: what arrived may be kept for a
    // resume when it is `sound` (whole as far as it goes).
    virtual void Interrupt(bool sound) = 0;
};
