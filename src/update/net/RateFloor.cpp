#include "update/net/RateFloor.h"

void RateFloor::Reset() {
    samples_.clear();
    total_ = 0;
}

void RateFloor::Took(std::int64_t bytes, std::int64_t nowMs) {
    // The first arrival opens the first window; what it brought counts before it.
    total_ += bytes;
    samples_.append({nowMs, total_});
}

bool RateFloor::TooSlow(std::int64_t nowMs) {
    if (samples_.isEmpty() || nowMs - samples_.front().first < windowMs)
        return false;
    // The count at the window's start: the last arrival at or before it.
    const std::int64_t start = nowMs - windowMs;
    while (samples_.size() > 1 && samples_[1].first <= start)
        samples_.removeFirst();
    return total_ - samples_.front().second < floorBytes;
}
