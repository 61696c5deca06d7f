// Making the plan: missing blocks to ranges, ranges merged, then packed into
// requests by the length of their header text.
#include "update/delta/RangePlan.h"

namespace {

QByteArray Text(const RangePlan::Range& range) {
    return QByteArray::number(range.first) + '-' + QByteArray::number(range.last);
}

QList<RangePlan::Range> Merged(const QList<RangePlan::Range>& ranges, qint64 gap) {
    QList<RangePlan::Range> merged;
    for (const RangePlan::Range& range : ranges) {
        if (!merged.isEmpty() && range.first - merged.last().last - 1 <= gap)
            merged.last().last = range.last;
        else
            merged.append(range);
    }
    return merged;
}

} // namespace

RangePlan::RangePlan(const std::vector<qint64>& seedOffsets, qint64 blocksize, qint64 length,
                     const Limits& limits) {
    QList<Range> missing;
    for (qint64 block = 0; block < qint64(seedOffsets.size()); ++block) {
        if (seedOffsets[std::size_t(block)] >= 0)
            continue;
        const Range range{block * blocksize, std::min(length, (block + 1) * blocksize) - 1};
        if (!missing.isEmpty() && missing.last().last + 1 == range.first)
            missing.last().last = range.last;
        else
            missing.append(range);
    }
    Plan(missing, limits);
}

RangePlan::RangePlan(const SpanSet& known, qint64 length, const Limits& limits) {
    QList<Range> missing;
    for (const auto& [first, end] : known.Gaps(0, length))
        missing.append({first, end - 1});
    Plan(missing, limits);
}

RangePlan::Limits RangePlan::OneRangeEach() {
    Limits limits;
    limits.maxHeader = 0;
    limits.fewRequests = 32;
    return limits;
}

void RangePlan::Plan(const QList<Range>& missing, const Limits& limits) {
    // The gap doubles at most some 40 times before everything is one range.
    for (qint64 gap = limits.mergeGap;; gap = std::max<qint64>(2 * gap, 1)) {
        const QList<Range> merged = Merged(missing, gap);
        Group(merged, limits.maxHeader);
        if (requests_.size() <= limits.fewRequests || merged.size() <= 1)
            break;
    }
}

void RangePlan::Group(const QList<Range>& ranges, qsizetype maxHeader) {
    requests_.clear();
    qsizetype used = 0;
    for (const Range& range : ranges) {
        const qsizetype size = Text(range).size() + 1;
        if (requests_.isEmpty() || used + size > maxHeader) {
            requests_.append(QList<Range>());
            used = 6; // "bytes="
        }
        requests_.last().append(range);
        used += size;
    }
}

QByteArray RangePlan::Header(qsizetype index) const {
    QByteArray header = "bytes=";
    for (const Range& range : requests_.at(index)) {
        if (header.size() > 6)
            header += ',';
        header += Text(range);
    }
    return header;
}

qint64 RangePlan::FetchBytes() const {
    qint64 bytes = 0;
    for (const QList<Range>& request : requests_) {
        for (const Range& range : request)
            bytes += range.last - range.first + 1;
    }
    return bytes;
}
