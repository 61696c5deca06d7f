// The slowest a server may send once its first byte is in: fewer than
// `floorBytes` in any `windowMs` ends the transfer. Any real line clears it,
// dial-up included; a server that trickles a byte now and then does not.
// A server that has sent nothing at all is the windows' stall rule's.
#pragma once

#include <QList>
#include <cstdint>
#include <utility>

class RateFloor {
public:
    // One place for the numbers; tests shorten the window.
    static inline std::int64_t windowMs = 30000;
    static inline std::int64_t floorBytes = 1024;

    // A new fetch: nothing arrived yet.
    void Reset();
    // `bytes` arrived at `nowMs`.
    void Took(std::int64_t bytes, std::int64_t nowMs);
    bool Started() const { return !samples_.isEmpty(); }
    // True when fewer than floorBytes came in the window before `nowMs`,
    // a whole window after the first byte.
    bool TooSlow(std::int64_t nowMs);

private:
    QList<std::pair<std::int64_t, std::int64_t>> samples_; // time, bytes so far
    std::int64_t total_ = 0;
};
