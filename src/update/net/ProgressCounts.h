// The progress role of a file sink: the counts the windows show and the rate
// floor measures, read from the response as it arrives.
#pragma once

#include "update/net/HttpResponseReader.h"

#include <cstdint>

class ProgressCounts {
public:
    virtual ~ProgressCounts();

    // The bytes so far, head included.
    virtual std::int64_t Received(const HttpResponseReader& response) const = 0;
    // The bytes that show the transfer moving, for the rate floor.
    virtual std::int64_t Progress(const HttpResponseReader& response) const = 0;
    // The file's bytes so far, and its whole size once announced (0 before).
    virtual std::int64_t FileReceived(const HttpResponseReader& response) const = 0;
    virtual std::int64_t FileSize(const HttpResponseReader& response) const = 0;
};
