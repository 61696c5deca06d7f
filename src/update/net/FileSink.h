// Where a response's body goes when it is a file rather than a text: written
// as it arrives beside the file it is meant for. The archive's receiver is
// one. It plays three roles: receiving the bytes, planning the requests and
// counting progress; by default a file written whole from its Offset().
#pragma once

#include "update/net/BodyReceiver.h"
#include "update/net/ProgressCounts.h"
#include "update/net/RequestPlan.h"

class FileSink : public BodyReceiver, public RequestPlan, public ProgressCounts {
public:
    // A resumed part and this response; a file put together at offsets
    // counts what it holds instead.
    std::int64_t Received(const HttpResponseReader& response) const override;
    // All that arrived; a file put together at offsets counts the file bytes
    // it was sent, never framing or bytes sent twice.
    std::int64_t Progress(const HttpResponseReader& response) const override;
    std::int64_t FileReceived(const HttpResponseReader& response) const override;
    std::int64_t FileSize(const HttpResponseReader& response) const override;
};
