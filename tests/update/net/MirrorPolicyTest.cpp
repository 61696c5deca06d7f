// Which failure moves a request on to the next mirror, and what a request
// that every mirror failed ends with: the policy alone, no connection.
#include "update/net/MirrorPolicy.h"

#include <gtest/gtest.h>

namespace {

using Kind = TransferFailure::Kind;

struct MoveRow {
    const char* name;
    QByteArray servers;
    Kind failure;
    bool signatureMovesOn; // the archive's checks ask for it
    bool movesOn;
};

// One kind of each side of the connection kinds; the list itself is not restated.
const MoveRow moveRows[] = {
    {"Connection", "a:1,b:2", Kind::Connection, false, true},
    {"NotFoundStays", "a:1,b:2", Kind::NotFound, false, false},
    {"SignatureStaysUnlessAsked", "a:1,b:2", Kind::Signature, false, false},
    {"SignatureWhenAsked", "a:1,b:2", Kind::Signature, true, true},
    {"OneServerNeverMovesOn", "a:1", Kind::Connection, true, false},
};

class MirrorPolicyMoveTest : public ::testing::TestWithParam<MoveRow> {};

TEST_P(MirrorPolicyMoveTest, MovesOnOnlyForItsKinds) {
    const MoveRow& row = GetParam();
    MirrorPolicy mirrors;
    mirrors.Use(row.servers);
    ASSERT_FALSE(mirrors.BeginRequest());
    MirrorPolicy::Kinds kinds = MirrorPolicy::connectionKinds;
    if (row.signatureMovesOn)
        kinds.append(Kind::Signature);
    TransferFailure failure{row.failure, "why"};
    EXPECT_EQ(mirrors.MoveOn(failure, kinds), row.movesOn);
    EXPECT_EQ(mirrors.Current().written, QByteArray(row.movesOn ? "b:2" : "a:1"));
    EXPECT_EQ(failure.text, QByteArray("why"));
}

INSTANTIATE_TEST_SUITE_P(Rows, MirrorPolicyMoveTest, ::testing::ValuesIn(moveRows),
                         [](const ::testing::TestParamInfo<MoveRow>& row) {
                             return std::string(row.param.name);
                         });

TEST(MirrorPolicyTest, EveryMirrorFailedEndsWithTheFirstReasonAndTheCount) {
    MirrorPolicy mirrors;
    mirrors.Use("a:1,b:2,c:3");
    ASSERT_FALSE(mirrors.BeginRequest());
    TransferFailure failure{Kind::ServerError, "first"};
    ASSERT_TRUE(mirrors.MoveOn(failure, MirrorPolicy::connectionKinds));
    failure = {Kind::ServerError, "second"};
    ASSERT_TRUE(mirrors.MoveOn(failure, MirrorPolicy::connectionKinds));
    failure = {Kind::ServerError, "third"};
    EXPECT_FALSE(mirrors.MoveOn(failure, MirrorPolicy::connectionKinds));
    EXPECT_EQ(failure.text, QByteArray("first (3 servers tried)"));
    // Back where the request began; none was dead, so the next request tries again.
    EXPECT_EQ(mirrors.Current().written, QByteArray("a:1"));
    EXPECT_FALSE(mirrors.BeginRequest());
}

TEST(MirrorPolicyTest, ADeadMirrorIsSkippedForTheRestOfTheCommand) {
    MirrorPolicy mirrors;
    mirrors.Use("a:1,b:2");
    ASSERT_FALSE(mirrors.BeginRequest());
    TransferFailure failure{Kind::Connection, "refused"};
    ASSERT_TRUE(mirrors.MoveOn(failure, MirrorPolicy::connectionKinds, true));
    ASSERT_FALSE(mirrors.BeginRequest());
    failure = {Kind::Connection, "refused too"};
    EXPECT_FALSE(mirrors.MoveOn(failure, MirrorPolicy::connectionKinds, true));
    // Every mirror is dead: the next request fails at once, until a new command.
    EXPECT_EQ(mirrors.BeginRequest().text, QByteArray("refused too (2 servers tried)"));
    mirrors.NewCommand();
    EXPECT_FALSE(mirrors.BeginRequest());
    EXPECT_EQ(mirrors.Current().written, QByteArray("a:1"));
}

} // namespace
