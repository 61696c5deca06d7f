// Following key rotations: links signed by the real minisign, a KORU several
// rotations behind catching up, and every way a link is refused leaving the
// trusted keys as they were.
#include "SignedReleaseFixture.h"
#include "update/trust/MinisignText.h"

namespace {

class KeyChainTest : public SignedReleaseFixture {};

TEST_F(KeyChainTest, ThreeRotationsBehindCatchesUp) {
    KeyChain chain(Trusted({"k0"}), 0);
    const Link links[] = {MakeLink(1, "k0", {"k1"}), MakeLink(2, "k1", {"k2", "k3"}),
                          MakeLink(3, "k2", {"k3"})};
    EXPECT_EQ(chain.CanReach(3), "");
    for (const Link& link : links)
        ASSERT_EQ(chain.Advance(link.text, link.signature), "");
    EXPECT_EQ(chain.Epoch(), 3);
    ASSERT_EQ(chain.Keys().Keys().size(), 1);
    EXPECT_EQ(chain.Keys().KeyLines(), Trusted({"k3"}).KeyLines());
}

struct BadLink {
    const char* name;
    const char* signer;
    qint64 signedEpoch;
    const char* problem; // after "The key chain link /files/koru/keys/2.txt "
};

class KeyChainBadLinkTest : public SignedReleaseFixture,
                            public ::testing::WithParamInterface<BadLink> {};

TEST_P(KeyChainBadLinkTest, IsRefusedAndChangesNothing) {
    KeyChain chain(Trusted({"k0"}), 0);
    const Link first = MakeLink(1, "k0", {"k1"});
    ASSERT_EQ(chain.Advance(first.text, first.signature), "");
    const Link second = MakeLink(GetParam().signedEpoch, GetParam().signer, {"other"});
    const QByteArray id =
        MinisignText::KeyIdText(UpdateKey::FromFileText(PublicKeys({"k0"})).KeyId());
    EXPECT_EQ(chain.Advance(second.text, second.signature),
              "The key chain link /files/koru/keys/2.txt " +
                  QByteArray(GetParam().problem).replace("K0", id));
    EXPECT_EQ(chain.Epoch(), 1);
    EXPECT_EQ(chain.Keys().KeyLines(), Trusted({"k1"}).KeyLines());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, KeyChainBadLinkTest,
    ::testing::Values(
        // k0 left the chain at epoch 1: it signs nothing more.
        BadLink{"SignedByRevokedKey", "k0", 2, "is signed by a key KORU does not trust (ID K0)."},
        // A genuine link of another place replayed here.
        BadLink{"SignedForAnotherEpoch", "k1", 3,
                "is signed for another place in the chain (\"koru-keys epoch 3\", not "
                "\"koru-keys epoch 2\")."}),
    [](const ::testing::TestParamInfo<BadLink>& row) { return row.param.name; });

TEST_F(KeyChainTest, EpochsOutOfReachAreNamed) {
    const KeyChain chain(Trusted({"k0"}), 5);
    EXPECT_EQ(chain.CanReach(4), "The server's release list names key epoch 4, older than epoch 5 "
                                 "that KORU already trusts.");
    EXPECT_EQ(chain.CanReach(70), "The server's release list names key epoch 70, more than 64 "
                                  "rotations beyond epoch 5 that KORU trusts.");
    EXPECT_EQ(chain.CanReach(69), "");
}

} // namespace
