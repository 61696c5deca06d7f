// A judge of one response's body beside its sink: it sees every body byte as
// it arrives and may cut the transfer the moment the body goes wrong (longer
// than a signed list allows), then gives its verdict once the body is whole.
// The transfer engine asks its owner for one per fetch.
#pragma once

#include "update/net/HttpResponseReader.h"
#include "update/net/TransferFailure.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

class BodyCheck {
public:
    virtual ~BodyCheck() = default;

    // The response's head, before any body byte.
    virtual TransferFailure TakeHead(const HttpResponseReader& /*response*/) { return {}; }
    // A resumed file's kept part: its first `size` bytes, in the file at `path`.
    virtual TransferFailure TakeKept(const QString& path, std::int64_t size) = 0;
    // The next body bytes, before the sink takes them.
    virtual TransferFailure Take(const char* data, qsizetype size) = 0;
    // After the last body byte.
    virtual TransferFailure Verdict() = 0;
};
