// A body that may not pass a size: the release list, its signature and the
// key chain's links are small, so a server that sends more is cut off there.
#pragma once

#include "update/http/BodyCheck.h"

class CappedBody : public BodyCheck {
public:
    explicit CappedBody(std::int64_t limit) : limit_(limit) {}

    TransferFailure TakeKept(const QString& path, std::int64_t size) override;
    TransferFailure Take(const char* data, qsizetype size) override;
    TransferFailure Verdict() override { return {}; }

private:
    std::int64_t limit_;
    std::int64_t received_ = 0;
};
