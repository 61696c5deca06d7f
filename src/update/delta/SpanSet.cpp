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

void SpanSet::Clear() {
    spans_.clear();
    total_ = 0;
}
