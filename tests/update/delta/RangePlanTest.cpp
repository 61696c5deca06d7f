// The ranges to fetch: missing blocks joined, the short last block clipped,
// near ranges merged, requests split by header length, and gaps widened
// until a few requests suffice.
#include "update/delta/RangePlan.h"

#include <gtest/gtest.h>

namespace {

struct PlanCase {
    const char* name;
    const char* blocks; // one character per block of 100 bytes: 'K' known, '.' missing
    qint64 length;
    RangePlan::Limits limits;
    QList<QByteArray> headers;
    // Bytes from the start already at hand (a whole answer read part way):
    // planned from the bytes known rather than the blocks.
    qint64 knownPrefix = 0;
};

class RangePlanTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(RangePlanTest, PlansTheRequests) {
    const PlanCase& c = GetParam();
    std::vector<qint64> offsets;
    for (const char* block = c.blocks; *block; ++block)
        offsets.push_back(*block == 'K' ? 0 : -1);
    SpanSet known;
    known.Add(0, c.knownPrefix);
    for (qint64 block = 0; block < qint64(offsets.size()); ++block)
        if (offsets[std::size_t(block)] >= 0)
            known.Add(block * 100, std::min(c.length, block * 100 + 100));
    const RangePlan plan = c.knownPrefix > 0 ? RangePlan(known, c.length, c.limits)
                                             : RangePlan(offsets, 100, c.length, c.limits);
    QList<QByteArray> headers;
    for (qsizetype i = 0; i < plan.Requests().size(); ++i)
        headers.append(plan.Header(i));
    EXPECT_EQ(headers, c.headers);
}

INSTANTIATE_TEST_SUITE_P(
    Plans, RangePlanTest,
    ::testing::Values(
        PlanCase{"NothingMissing", "KKKK", 350, {0, 100, 4}, {}},
        PlanCase{"RunsJoinedLastClipped", "..KK.", 450, {0, 100, 4}, {"bytes=0-199,400-449"}},
        PlanCase{"NearGapMerged", ".K..KKK.", 800, {100, 100, 4}, {"bytes=0-399,700-799"}},
        PlanCase{"SplitByHeaderLength",
                 ".K.K.K.K",
                 800,
                 {0, 20, 4},
                 {"bytes=0-99,200-299", "bytes=400-499", "bytes=600-699"}},
        PlanCase{"WiderGapsForFewRequests", ".K.K.K.K", 800, {0, 20, 2}, {"bytes=0-699"}},
        PlanCase{"OneRangeAtWorst", ".KKKKKK.", 800, {0, 10, 1}, {"bytes=0-799"}},
        PlanCase{"PrefixKnownOneRangeEach",
                 ".K..KK.",
                 650,
                 {0, 0, 8},
                 {"bytes=200-399", "bytes=600-649"},
                 150}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
