// koru-publish as a publisher runs it, on a copy of the sample server tree with
// keys made by the real minisign: what it signs verifies with `minisign -V`,
// the list names every file KORU may fetch with its true length and hash, the
// key chain it writes is the one KORU follows, and each refusal is named.
#include "BuildConfig.h"
#include "support/CopyTree.h"
#include "support/Minisign.h"
#include "support/TestFiles.h"
#include "update/release/ListedFileCheck.h"
#include "update/release/ReleaseVerifier.h"
#include "update/release/SignedReleaseFixture.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct Outcome {
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

// The suite's key pairs come from the release tests' fixture.
class PublishTest : public SignedReleaseFixture {
protected:
    void SetUp() override {
        SignedReleaseFixture::SetUp();
        if (IsSkipped())
            return;
        CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/server"), Tree());
    }

    static QString Key(const char* name, const char* suffix = ".key") {
        return keys->filePath(QString::fromLatin1(name) + QString::fromLatin1(suffix));
    }
    QString Files(const char* path) const {
        return Tree() + QStringLiteral("/files/") + QString::fromLatin1(path);
    }

    static Outcome Publish(const QStringList& arguments, const QByteArray& password = {}) {
        QProcess publish;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("KORU_PUBLISH_PASSWORD"));
        if (!password.isNull())
            environment.insert(QStringLiteral("KORU_PUBLISH_PASSWORD"),
                               QString::fromUtf8(password));
        publish.setProcessEnvironment(environment);
        publish.setStandardInputFile(QProcess::nullDevice());
        publish.start(QStringLiteral(KORU_PUBLISH), arguments);
        if (!publish.waitForFinished(120000))
            return {};
        return {publish.exitCode(), publish.readAllStandardOutput(),
                publish.readAllStandardError()};
    }

    static bool MinisignVerifies(const QString& file, const char* key) {
        return Minisign::Run({QStringLiteral("-V"), QStringLiteral("-q"), QStringLiteral("-p"),
                              Key(key, ".pub"), QStringLiteral("-m"), file});
    }

    ReleaseList PublishedList() const {
        return ReleaseList::Parse(ReadFile(Files("koru/release.txt")));
    }
};

TEST_F(PublishTest, ListsEveryFetchableFileAndMinisignVerifiesWhatItSigned) {
    WriteFile(Files("koru/killswitch.txt"), "on\r\n");
    WriteFile(Files("vanto.zip.zsync"), "zsync: 0.6.2\n");
    WriteFile(Files("koru/stray.txt"), "not offered");
    const Outcome first = Publish({Tree(), QStringLiteral("--key"), Key("k0")});
    ASSERT_EQ(first.exitCode, 0) << first.errors.constData();
    EXPECT_TRUE(first.output.contains("signed files/vanto.zip")) << first.output.constData();
    EXPECT_TRUE(MinisignVerifies(Files("koru/release.txt"), "k0"));
    EXPECT_TRUE(MinisignVerifies(Files("vanto.zip"), "k0"));

    const ReleaseList list = PublishedList();
    ASSERT_TRUE(list.Valid()) << list.problem.constData();
    EXPECT_EQ(list.serial, 1);
    EXPECT_EQ(list.epoch, 0);
    EXPECT_EQ(list.offeredVersion, "02.14");
    QList<QByteArray> paths;
    for (const ReleaseList::Entry& entry : list.files) {
        paths << entry.path;
        const QByteArray bytes = ReadFile(Files(entry.path.constData()));
        ListedFileCheck check(entry);
        check.Update(bytes.constData(), bytes.size());
        EXPECT_EQ(check.Verdict(), "") << entry.path.constData();
    }
    EXPECT_EQ(paths,
              (QList<QByteArray>{"koru/killswitch.txt", "koru/vanto_ver.txt", "koru/otherinfo.txt",
                                 "koru/koru_helplinks.txt", "koru/manual.txt", "koru/manual.gif",
                                 "koru/faq.txt", "koru/faq.gif", "koru/forum.txt", "koru/forum.gif",
                                 "vanto.zip", "vanto.zip.zsync"}));

    // Again: the next serial, and the archive's signature still holds.
    const QByteArray archiveSignature = ReadFile(Files("vanto.zip.minisig"));
    const Outcome second = Publish({Tree(), QStringLiteral("--key"), Key("k0")});
    ASSERT_EQ(second.exitCode, 0) << second.errors.constData();
    EXPECT_FALSE(second.output.contains("signed files/vanto.zip"));
    EXPECT_EQ(ReadFile(Files("vanto.zip.minisig")), archiveSignature);
    EXPECT_EQ(PublishedList().serial, 2);
}

TEST_F(PublishTest, ProtectedKeyOpensOnlyWithItsPassword) {
    const QString base = work.filePath(QStringLiteral("protected"));
    ASSERT_TRUE(Minisign::MakeProtectedKeys(base, "correct horse"));
    const QStringList arguments{Tree(), QStringLiteral("--key"), base + QStringLiteral(".key")};
    const Outcome wrong = Publish(arguments, "wrong horse");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(wrong.errors, "koru-publish: The secret key " + QFile::encodeName(base) +
                                ".key does not open with this password.\n");
    const Outcome right = Publish(arguments, "correct horse");
    ASSERT_EQ(right.exitCode, 0) << right.errors.constData();
    EXPECT_TRUE(Minisign::Run({QStringLiteral("-V"), QStringLiteral("-q"), QStringLiteral("-p"),
                               base + QStringLiteral(".pub"), QStringLiteral("-m"),
                               Files("koru/release.txt")}));
}

TEST_F(PublishTest, ThreeRotationsMakeTheChainKoruFollows) {
    const char* keyNames[] = {"k0", "k1", "k2", "k3"};
    for (int epoch = 1; epoch <= 3; ++epoch) {
        const Outcome rotated = Publish({QStringLiteral("rotate"), Tree(), QStringLiteral("--key"),
                                         Key(keyNames[epoch - 1]), QStringLiteral("--new"),
                                         Key(keyNames[epoch], ".pub")});
        ASSERT_EQ(rotated.exitCode, 0) << rotated.errors.constData();
    }
    EXPECT_TRUE(MinisignVerifies(Files("koru/keys/1.txt"), "k0"));
    // k2 left the chain at epoch 3: it may neither rotate nor publish.
    const Outcome revoked = Publish({Tree(), QStringLiteral("--key"), Key("k2")});
    EXPECT_EQ(revoked.exitCode, 1);
    EXPECT_TRUE(revoked.errors.contains("is not trusted at epoch 3 (files/koru/keys/3.txt)."))
        << revoked.errors.constData();
    ASSERT_EQ(Publish({Tree(), QStringLiteral("--key"), Key("k3")}).exitCode, 0);
    EXPECT_EQ(PublishedList().epoch, 3);

    KeyChain chain(TrustedKeys::FromFileText(ReadFile(Key("k0", ".pub")), "k0"), 0);
    for (qint64 epoch = 1; epoch <= 3; ++epoch) {
        const QString link = Files(KeyChain::LinkPath(epoch).constData());
        ASSERT_EQ(chain.Advance(ReadFile(link), ReadFile(link + QStringLiteral(".minisig"))), "");
    }
    const ReleaseVerifier::Verdict verdict = ReleaseVerifier::Verify(
        ReadFile(Files("koru/release.txt")), ReadFile(Files("koru/release.txt.minisig")), chain, 0,
        QDateTime::currentDateTimeUtc());
    EXPECT_TRUE(verdict.Verified()) << verdict.problem.constData();
}

struct Usage {
    const char* name;
    QStringList arguments; // TREE stands for the tree, KEY for a key
    int exitCode;
    const char* output; // the start of standard output or of the errors
    QByteArray lastList =
        "koru-release 1\nserial 7\nexpires 2027-01-06T12:00:00Z\nvanto 1\nepoch 0\n";
};

class PublishUsageTest : public PublishTest, public ::testing::WithParamInterface<Usage> {};

TEST_P(PublishUsageTest, ExitsAsDocumented) {
    QStringList arguments = GetParam().arguments;
    arguments.replaceInStrings(QStringLiteral("TREE"), Tree());
    arguments.replaceInStrings(QStringLiteral("KEY"), Key("k0"));
    WriteFile(Files("koru/release.txt"), GetParam().lastList);
    const Outcome outcome = Publish(arguments);
    EXPECT_EQ(outcome.exitCode, GetParam().exitCode);
    EXPECT_TRUE((outcome.output + outcome.errors).startsWith(GetParam().output))
        << (outcome.output + outcome.errors).constData();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PublishUsageTest,
    ::testing::Values(
        Usage{"Help", {QStringLiteral("--help")}, 0, "usage: koru-publish TREE"},
        Usage{"Version", {QStringLiteral("--version")}, 0, "koru-publish " KORU_VERSION "\n"},
        Usage{"NoKey", {QStringLiteral("TREE")}, 64, "usage: koru-publish TREE"},
        Usage{"UnreadableLastList",
              {QStringLiteral("TREE"), QStringLiteral("--key"), QStringLiteral("KEY")},
              1,
              "koru-publish: The tree's files/koru/release.txt cannot be read for its serial",
              "koru-release 1\nserial 7\n"},
        Usage{"SerialNotAboveLast",
              {QStringLiteral("TREE"), QStringLiteral("--key"), QStringLiteral("KEY"),
               QStringLiteral("--serial"), QStringLiteral("7")},
              1,
              "koru-publish: The serial must be above 7, the tree's last."}),
    [](const ::testing::TestParamInfo<Usage>& row) { return row.param.name; });

} // namespace
