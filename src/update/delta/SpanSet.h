// Disjoint stretches of a file, [first, end), joined where they touch: the
// bytes an assembly has written, or the parts one answer has brought.
#pragma once

#include <QtGlobal>
#include <map>
#include <utility>
#include <vector>

class SpanSet {
public:
    void Add(qint64 first, qint64 end);
    // Whether any byte of [first, end) is in the set.
    bool Overlaps(qint64 first, qint64 end) const;
    // The stretches of [first, end) not in the set, as [first, end) pairs.
    std::vector<std::pair<qint64, qint64>> Gaps(qint64 first, qint64 end) const;
    // Where the stretch holding `at` ends; `at` when it is not in the set.
    qint64 Reach(qint64 at) const;
    // Bytes in the set.
    qint64 Total() const { return total_; }
    void Clear();

private:
    std::map<qint64, qint64> spans_; // start -> end
    qint64 total_ = 0;
};
