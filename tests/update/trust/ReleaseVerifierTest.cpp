// Accepting a release list signed by the real minisign: the log line of a
// verified list, and the reason for each list KORU must not use, with the
// clock set by the test.
#include "update/trust/ReleaseVerifier.h"

#include "SignedReleaseFixture.h"
#include "update/trust/MinisignText.h"

namespace {

QByteArray ListText(qint64 serial, qint64 epoch = 0) {
    return "koru-release 1\nserial " + QByteArray::number(serial) +
           "\nexpires 2027-01-06T12:00:00Z\nvanto 02.14\nepoch " + QByteArray::number(epoch) +
           "\nfile 3 " + QByteArray(64, 'a') + " koru/killswitch.txt\n";
}

QDateTime At(const char* time) {
    return QDateTime::fromString(QString::fromLatin1(time), Qt::ISODate);
}

class ReleaseVerifierTest : public SignedReleaseFixture {};

TEST_F(ReleaseVerifierTest, VerifiedListIsLoggedAndTheSameSerialStaysAccepted) {
    const QByteArray list = ListText(42);
    const ReleaseVerifier::Verdict verdict = ReleaseVerifier::Verify(
        list, Sign(list, "k0", "koru-release serial 42 epoch 0"),
        KeyChain(Trusted({"other", "k0"}), 0), 42, At("2026-12-07T20:40:00Z"));
    ASSERT_TRUE(verdict.Verified()) << verdict.problem.constData();
    EXPECT_EQ(verdict.LogLine(), "Release list verified: serial 42, valid until 2027-01-06.");
    EXPECT_NE(verdict.list.Find("koru/killswitch.txt"), nullptr);
}

struct Refused {
    const char* name;
    QByteArray list;
    const char* signer; // nullptr: no signature at all
    const char* problem;
    QByteArray altered = {}; // replaces the signed list when not empty
    qint64 seen = 0;
    const char* now = "2026-12-07T20:40:00Z";
    const char* comment = "release";
};

class ReleaseVerifierRefusalTest : public SignedReleaseFixture,
                                   public ::testing::WithParamInterface<Refused> {};

TEST_P(ReleaseVerifierRefusalTest, SaysWhy) {
    const Refused& row = GetParam();
    const QByteArray signature =
        row.signer ? Sign(row.list, row.signer, row.comment) : QByteArray();
    const ReleaseVerifier::Verdict verdict =
        ReleaseVerifier::Verify(row.altered.isEmpty() ? row.list : row.altered, signature,
                                KeyChain(Trusted({"k0"}), 0), row.seen, At(row.now));
    const QByteArray otherId =
        MinisignText::KeyIdText(UpdateKey::FromFileText(PublicKeys({"other"})).KeyId());
    EXPECT_EQ(verdict.problem, QByteArray(row.problem).replace("OTHER", otherId));
    EXPECT_FALSE(verdict.Verified());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReleaseVerifierRefusalTest,
    ::testing::Values(
        Refused{"Unsigned", ListText(42), nullptr, "The signature file is malformed: it is empty."},
        Refused{"Tampered", ListText(42), "k0", "The release list's signature does not match it.",
                ListText(43)},
        Refused{"OtherKey", ListText(42), "other",
                "The release list is signed by a key KORU does not trust (ID OTHER)."},
        Refused{"Replayed", ListText(41), "k0",
                "The server's release list is older than one KORU has already seen (serial 41, "
                "seen 42).",
                QByteArray(), 42},
        Refused{"Expired", ListText(42), "k0",
                "The server's release list expired on 2027-01-06 at 12:00 UTC.", QByteArray(), 0,
                "2027-01-06T12:00:00Z"},
        Refused{"EpochNotReached", ListText(42, 1), "k0",
                "The release list names key epoch 1, which KORU has not reached."},
        Refused{"SignedForAnotherSerial", ListText(42), "k0",
                "The release list's signature was made for another text (\"koru-release serial "
                "41 epoch 0\", not \"koru-release serial 42 epoch 0\").",
                QByteArray(), 0, "2026-12-07T20:40:00Z", "koru-release serial 41 epoch 0"}),
    [](const ::testing::TestParamInfo<Refused>& row) { return row.param.name; });

} // namespace
