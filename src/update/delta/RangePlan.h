// The byte ranges of the target to fetch: the blocks the seed did not give,
// near ones merged, grouped into requests whose Range header stays short
// enough for any server (nginx takes 8 KiB of header lines by default). When
// that makes more requests than wanted, ever larger gaps are merged: a few
// known bytes fetched again cost less than a round trip.
#pragma once

#include "update/delta/SpanSet.h"

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <vector>

class RangePlan {
public:
    struct Range {
        qint64 first; // inclusive, as HTTP counts
        qint64 last;
        friend bool operator==(const Range&, const Range&) = default;
    };
    struct Limits {
        qint64 mergeGap = 16 * 1024;    // ranges this close always become one
        qsizetype maxHeader = 6 * 1024; // of the Range header's value
        int fewRequests = 4;            // merge larger gaps until this many suffice
    };

    // From the per-block seed offsets of a scan (-1: missing).
    RangePlan(const std::vector<qint64>& seedOffsets, qint64 blocksize, qint64 length,
              const Limits& limits);
    RangePlan(const std::vector<qint64>& seedOffsets, qint64 blocksize, qint64 length)
        : RangePlan(seedOffsets, blocksize, length, Limits()) {}
    // From the bytes already at hand, of a file of `length`.
    RangePlan(const SpanSet& known, qint64 length, const Limits& limits);
    // For a server that answers one range per request: each range its own
    // request, pipelined, so gaps are merged only to keep their count sane.
    static Limits OneRangeEach();

    // The ranges of each request, in order.
    const QList<QList<Range>>& Requests() const { return requests_; }
    // A Range header's value for request `index`: "bytes=0-99,200-299".
    QByteArray Header(qsizetype index) const;
    // Bytes all requests ask for.
    qint64 FetchBytes() const;

private:
    void Plan(const QList<Range>& missing, const Limits& limits);
    void Group(const QList<Range>& ranges, qsizetype maxHeader);

    QList<QList<Range>> requests_;
};
