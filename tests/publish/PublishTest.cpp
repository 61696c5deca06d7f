// koru-publish as a publisher runs it, on a copy of the sample server tree with
// keys made by the real minisign: what it signs verifies with `minisign -V`,
// the list names every file KORU may fetch with its true length and hash, a
// retired key publishes nothing, and each refusal is named. That KORU follows
// the chain it writes is ReleaseAttackTest's.
#include "BuildConfig.h"
#include "publish/SecretKey.h"
#include "support/Minisign.h"
#include "support/Raised.h"
#include "support/TestFiles.h"
#include "support/TestZip.h"
#include "update/trust/ListedFileCheck.h"
#include "update/trust/SignedReleaseFixture.h"

#include <QDir>
#include <QtEndian>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// The suite's key pairs come from the release tests' fixture.
class PublishTest : public SignedReleaseFixture {
protected:
    void SetUpWithKeys() override { CopySampleTree(); }

    static bool MinisignVerifies(const QString& file, const QString& publicKey) {
        return Minisign::Run({QStringLiteral("-V"), QStringLiteral("-q"), QStringLiteral("-p"),
                              publicKey, QStringLiteral("-m"), file});
    }

    ReleaseList PublishedList() const {
        return ReleaseList::Parse(ReadFile(Served("koru/release.txt")));
    }
};

TEST_F(PublishTest, ListsEveryFetchableFileAndMinisignVerifiesWhatItSigned) {
    WriteFile(Served("koru/killswitch.txt"), "on\r\n");
    WriteFile(Served("vanto.zip.zsync"), "zsync: 0.6.2\n");
    WriteFile(Served("koru/stray.txt"), "not offered");
    const Published first = RunPublish({Tree(), QStringLiteral("--key"), KeyFile("k0", ".key")});
    ASSERT_EQ(first.exitCode, 0) << first.errors.constData();
    EXPECT_TRUE(first.output.contains("signed files/vanto.zip")) << first.output.constData();
    EXPECT_TRUE(MinisignVerifies(Served("koru/release.txt"), KeyFile("k0", ".pub")));
    EXPECT_TRUE(MinisignVerifies(Served("vanto.zip"), KeyFile("k0", ".pub")));

    const ReleaseList list = PublishedList();
    ASSERT_TRUE(list.Valid()) << list.problem.constData();
    EXPECT_EQ(list.serial, 1);
    EXPECT_EQ(list.epoch, 0);
    EXPECT_EQ(list.offeredVersion, "02.14");
    QList<QByteArray> paths;
    for (const ReleaseList::Entry& entry : list.files) {
        paths << entry.path;
        const QByteArray bytes = ReadFile(Served(entry.path.constData()));
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
    const QByteArray archiveSignature = ReadFile(Served("vanto.zip.minisig"));
    const Published second = RunPublish({Tree(), QStringLiteral("--key"), KeyFile("k0", ".key")});
    ASSERT_EQ(second.exitCode, 0) << second.errors.constData();
    EXPECT_FALSE(second.output.contains("signed files/vanto.zip"));
    EXPECT_EQ(ReadFile(Served("vanto.zip.minisig")), archiveSignature);
    EXPECT_EQ(PublishedList().serial, 2);
}

TEST_F(PublishTest, ProtectedKeyOpensOnlyWithItsPassword) {
    const QString base = work.filePath(QStringLiteral("protected"));
    ASSERT_TRUE(Minisign::MakeProtectedKeys(base, "correct horse"));
    const QStringList arguments{Tree(), QStringLiteral("--key"), base + QStringLiteral(".key")};
    const Published wrong = RunPublish(arguments, "wrong horse");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(wrong.errors, "koru-publish: The secret key " + QFile::encodeName(base) +
                                ".key does not open with this password.\n");
    const Published right = RunPublish(arguments, "correct horse");
    ASSERT_EQ(right.exitCode, 0) << right.errors.constData();
    EXPECT_TRUE(MinisignVerifies(Served("koru/release.txt"), base + QStringLiteral(".pub")));
}

TEST_F(PublishTest, ThreeRotationsRetireEachKeyFromPublishing) {
    const char* keyNames[] = {"k0", "k1", "k2", "k3"};
    for (int epoch = 1; epoch <= 3; ++epoch) {
        const Published rotated =
            RunPublish({QStringLiteral("rotate"), Tree(), QStringLiteral("--key"),
                        KeyFile(keyNames[epoch - 1], ".key"), QStringLiteral("--new"),
                        KeyFile(keyNames[epoch], ".pub")});
        ASSERT_EQ(rotated.exitCode, 0) << rotated.errors.constData();
    }
    EXPECT_TRUE(MinisignVerifies(Served("koru/keys/1.txt"), KeyFile("k0", ".pub")));
    // k2 left the chain at epoch 3: it may neither rotate nor publish.
    const Published revoked = RunPublish({Tree(), QStringLiteral("--key"), KeyFile("k2", ".key")});
    EXPECT_EQ(revoked.exitCode, 1);
    EXPECT_TRUE(revoked.errors.contains("is not trusted at epoch 3 (files/koru/keys/3.txt)."))
        << revoked.errors.constData();
    ASSERT_EQ(RunPublish({Tree(), QStringLiteral("--key"), KeyFile("k3", ".key")}).exitCode, 0);
    EXPECT_EQ(PublishedList().epoch, 3);
}

// A tree that cannot be published is refused before the key is opened.
TEST_F(PublishTest, TreeIsCheckedBeforeTheKeyOpens) {
    const QString base = work.filePath(QStringLiteral("protected"));
    ASSERT_TRUE(Minisign::MakeProtectedKeys(base, "correct horse"));
    QFile::remove(Served("koru/vanto_ver.txt"));
    const Published run =
        RunPublish({Tree(), QStringLiteral("--key"), base + QStringLiteral(".key")}, "wrong horse");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errors, "koru-publish: The tree has no files/koru/vanto_ver.txt to take the "
                          "offered version from.\n");
}

// A forged key asking scrypt for absurd work is refused before the password.
TEST_F(PublishTest, KeyAskingForAbsurdWorkIsRefusedBeforeThePassword) {
    const QString base = work.filePath(QStringLiteral("protected"));
    ASSERT_TRUE(Minisign::MakeProtectedKeys(base, "correct horse"));
    QList<QByteArray> lines = ReadFile(base + QStringLiteral(".key")).split('\n');
    QByteArray line = QByteArray::fromBase64(lines[1]);
    qToLittleEndian<quint64>(quint64(1) << 40, line.data() + 38); // the operations limit
    lines[1] = line.toBase64();
    const std::optional<RuntimeError> refused = Raised([&] {
        SecretKey::FromFileText(lines.join('\n'), "K", []() -> QByteArray {
            throw RuntimeError(RuntimeErrors::invalidCall, "the password was asked for");
        });
    });
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->Description(),
              "The secret key K asks for more work to open than koru-publish allows "
              "(1099511627776 scrypt operations and 1073741824 bytes of memory; at most "
              "134217728 and 1073741824).");
}

struct TreeFault {
    const char* name;
    const char* file; // under files/, replaced by `make`
    std::function<bool(const QString& path)> make;
    const char* reason; // after "files/FILE "
};

bool Fifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

class PublishTreeFaultTest : public PublishTest, public ::testing::WithParamInterface<TreeFault> {};

TEST_P(PublishTreeFaultTest, IsRefusedNamingTheFile) {
    const QString path = Served(GetParam().file);
    QFile::remove(path);
    ASSERT_TRUE(GetParam().make(path));
    const Published run = RunPublish({Tree(), QStringLiteral("--key"), KeyFile("k0", ".key")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errors, QByteArray("koru-publish: files/") + GetParam().file + ' ' +
                              GetParam().reason + '\n');
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PublishTreeFaultTest,
    ::testing::Values(
        TreeFault{"VersionFileIsAFifo", "koru/vanto_ver.txt", Fifo, "is not a regular file."},
        TreeFault{"ArchiveIsAFifo", "vanto.zip", Fifo, "is not a regular file."},
        TreeFault{"LinkLeavesTheTree", "koru/faq.txt",
                  [](const QString& path) {
                      // The test's folder holds the tree: tree/files/koru/faq.txt.
                      WriteFile(QFileInfo(path).dir().filePath(QStringLiteral("../../../out")),
                                "secret");
                      return QFile::link(QStringLiteral("../../../out"), path);
                  },
                  "is a link that leaves the tree; the server does not follow it."},
        TreeFault{"HelpLinkWithoutText", "koru/koru_helplinks.txt",
                  [](const QString& path) {
                      WriteFile(path, "HL0008\r\nfaq\r\ngone");
                      return true;
                  },
                  "names the help link \"gone\", but the tree has no files/koru/gone.txt."},
        TreeFault{"HelpLinkWithoutPicture", "koru/koru_helplinks.txt",
                  [](const QString& path) {
                      WriteFile(path, "HL0008\r\nfaq");
                      return QFile::remove(
                          QFileInfo(path).dir().filePath(QStringLiteral("faq.gif")));
                  },
                  "names the help link \"faq\", but the tree has no files/koru/faq.gif."}),
    [](const ::testing::TestParamInfo<TreeFault>& row) { return row.param.name; });

struct Usage {
    const char* name;
    QStringList arguments; // TREE stands for the tree, KEY for a key
    int exitCode;
    QByteArray output; // the start of standard output or of the errors
    QByteArray lastList =
        "koru-release 1\nserial 7\nexpires 2027-01-06T12:00:00Z\nvanto 1\nepoch 0\n";
    const char* listed = "";           // a line the written list holds
    QByteArray (*archive)() = nullptr; // vanto.zip instead of the sample's
};

// An image of VANTO 02.14's folder holding one more entry.
QByteArray ImageWith(const QByteArray& name, const QByteArray& content, mode_t mode = 0) {
    return TestZip().File("VANTO.ini", IniWithVersion("02.14")).File(name, content, mode).Bytes();
}

QByteArray ArchiveWithProgram() {
    return ImageWith("bin/vanto", "vanto", S_IFREG | 0755);
}

// koru-publish TREE --key KEY --installable --program PATH
QStringList WithProgram(const QString& path) {
    return {QStringLiteral("TREE"),          QStringLiteral("--key"),     QStringLiteral("KEY"),
            QStringLiteral("--installable"), QStringLiteral("--program"), path};
}

class PublishUsageTest : public PublishTest, public ::testing::WithParamInterface<Usage> {};

TEST_P(PublishUsageTest, ExitsAsDocumented) {
    QStringList arguments = GetParam().arguments;
    arguments.replaceInStrings(QStringLiteral("TREE"), Tree());
    arguments.replaceInStrings(QStringLiteral("KEY"), KeyFile("k0", ".key"));
    WriteFile(Served("koru/release.txt"), GetParam().lastList);
    if (GetParam().archive != nullptr)
        WriteFile(Served("vanto.zip"), GetParam().archive());
    const Published outcome = RunPublish(arguments);
    EXPECT_EQ(outcome.exitCode, GetParam().exitCode);
    EXPECT_TRUE((outcome.output + outcome.errors).startsWith(GetParam().output))
        << (outcome.output + outcome.errors).constData();
    EXPECT_TRUE(PublishedList().Text().contains(GetParam().listed));
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
              "koru-publish: The serial must be above 7, the tree's last."},
        Usage{"Program", WithProgram(QStringLiteral("bin/vanto")), 0,
              "koru-publish: ", Usage{}.lastList, "\nprogram bin/vanto\n", ArchiveWithProgram},
        Usage{"ProgramNotInTheArchive", WithProgram(QStringLiteral("bin/vanto")), 1,
              "koru-publish: --program names bin/vanto, which files/vanto.zip does not install "
              "as a file.\n"},
        Usage{"ProgramIsAFolder", WithProgram(QStringLiteral("bin")), 1,
              "koru-publish: --program names bin, which files/vanto.zip does not install as a "
              "file.\n",
              Usage{}.lastList, "", ArchiveWithProgram},
        Usage{"ProgramInKorusFolder", WithProgram(QStringLiteral(".koru/vanto")), 64,
              "koru-publish: The program \".koru/vanto\" is in .koru/, which KORU keeps for "
              "itself.\n"},
        Usage{"ProgramIsVantoIni", WithProgram(QStringLiteral("VANTO.ini")), 64,
              "koru-publish: The program \"VANTO.ini\" is VANTO.ini, which holds VANTO's "
              "version.\n"},
        Usage{"ProgramIsADash", WithProgram(QStringLiteral("-")), 64,
              "koru-publish: The program \"-\" is \"-\", which names no file.\n"},
        Usage{"ExpiresNotADuration",
              {QStringLiteral("TREE"), QStringLiteral("--key"), QStringLiteral("KEY"),
               QStringLiteral("--expires"), QStringLiteral("3x")},
              64,
              "koru-publish: --expires takes 1 to 100000 days or hours, such as 30d or 12h, not "
              "\"3x\".\n"},
        Usage{"MissingKey",
              {QStringLiteral("TREE"), QStringLiteral("--key"), QStringLiteral("no-such.key")},
              1,
              "koru-publish: The secret key no-such.key cannot be read (No such file or "
              "directory).\n"}),
    [](const ::testing::TestParamInfo<Usage>& row) { return row.param.name; });

struct Unfit {
    const char* name;
    QByteArray (*archive)();
    const char* reason; // after "koru-publish: "
};

class PublishUnfitArchiveTest : public PublishTest, public ::testing::WithParamInterface<Unfit> {};

// What KORU's install would refuse is not published as installable.
TEST_P(PublishUnfitArchiveTest, IsNotMarkedInstallable) {
    WriteFile(Served("vanto.zip"), GetParam().archive());
    const Published run = RunPublish(
        {Tree(), QStringLiteral("--key"), KeyFile("k0", ".key"), QStringLiteral("--installable")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errors, QByteArray("koru-publish: ") + GetParam().reason + '\n');
    EXPECT_FALSE(QFile::exists(Served("koru/release.txt")));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PublishUnfitArchiveTest,
    ::testing::Values(
        Unfit{"Text", [] { return QByteArray("VANTO 02.14 notes\n"); },
              "KORU would refuse to install files/vanto.zip. The archive is not a zip archive KORU "
              "can read (Not a zip archive)."},
        Unfit{"EntryClimbsOut", [] { return ImageWith("../x", "x"); },
              "KORU would refuse to install files/vanto.zip. The archive's entry \"../x\" climbs "
              "out of VANTO's folder with \"..\"."},
        Unfit{"OtherVersion",
              [] { return TestZip().File("VANTO.ini", IniWithVersion("02.15")).Bytes(); },
              "KORU would refuse to install files/vanto.zip. The archive's VANTO.ini carries "
              "version \"02.15\"; the release list offers 02.14."},
        // zip -r run on the sample's archive, which packs VANTO/.
        Unfit{"StaleTopFolder",
              [] {
                  return TestZip()
                      .File("VANTO/VANTO.ini", IniWithVersion("02.13"))
                      .File("VANTO/README.txt", "old")
                      .File("VANTO.ini", IniWithVersion("02.14"))
                      .File("README.txt", "new")
                      .Bytes();
              },
              "files/vanto.zip holds VANTO.ini both at its root and in VANTO/, as when zip adds to "
              "an older archive; write a fresh archive."}),
    [](const ::testing::TestParamInfo<Unfit>& row) { return row.param.name; });

} // namespace
