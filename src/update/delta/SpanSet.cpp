#include "update/delta/SpanSet.h"

#include <algorithm>
#include <iterator>

void SpanSet::Add(qint64 first, qint64 end) {
    if (first >= end)
        return;
    // Join every stretch that touches [first, end).
    auto it = spans_.upper_bound(first);
    if (it != spans_.begin() && std::prev(it)->second >= first)
        --it;
    while (it != spans_.end() && it->first <= end) {
        first = std::min(first, it->first);
        end = std::max(end, it->second);
        total_ -= it->second - it->first;
        it = spans_.erase(it);
    }
    spans_.emplace(first, end);
    total_ += end - first;
}

bool SpanSet::Overlaps(qint64 first, qint64 end) const {
    if (first >= end)
        return false;
    auto it = spans_.lower_bound(end);
    return it != spans_.begin() && std::prev(it)->second > first;
}

std::vector<std::pair<qint64, qint64>> SpanSet::Gaps(qint64 first, qint64 end) const {
    std::vector<std::pair<qint64, qint64>> gaps;
    auto it = spans_.upper_bound(first);
    if (it != spans_.begin() && std::prev(it)->second > first)
        first = std::prev(it)->second;
    for (; first < end; ++it) {
        const qint64 next = it == spans_.end() ? end : std::min(end, it->first);
        if (first < next)
            gaps.emplace_back(first, next);
        if (it == spans_.end())
            break;
        first = std::max(first, it->second);
    }
    return gaps;
}

qint64 SpanSet::Reach(qint64 at) const {
    auto it = spans_.upper_bound(at);
    return it != spans_.begin() && std::prev(it)->second > at ? std::prev(it)->second : at;
}

void SpanSet::Clear() {
    spans_.clear();
    total_ = 0;
}
