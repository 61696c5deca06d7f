// "Check for available updates" end to end against real servers on loopback:
// the bundled sample server and nginx, both publishing the sample tree.
#include "server/SampleServer.h"
#include "support/CheckFixture.h"
#include "support/CopyTree.h"
#include "support/DialogAnswers.h"
#include "support/NginxServer.h"

#include <QDir>
#include <ostream>

namespace {

enum class ServerKind { Sample, Nginx };

void PrintTo(ServerKind kind, std::ostream* out) {
    *out << (kind == ServerKind::Sample ? "sample server" : "nginx");
}

const QByteArray checking = "Checking for VANTO Updates...\r\n";
const QByteArray helpLinks = "Checking for Help Link updates... \r\n";

class ServerCheckTest : public VantoFixture, public ::testing::WithParamInterface<ServerKind> {
protected:
    void SetUp() override {
        CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/server"), published.path());
        if (GetParam() == ServerKind::Sample) {
            sample = std::make_unique<SampleServer>(published.path(), 0);
            sample->Start();
            SharedState().serverHost = "127.0.0.1:" + QByteArray::number(sample->Port());
        } else {
            ASSERT_FALSE(NginxServer::Program().isEmpty()) << "nginx is not installed";
            nginx = std::make_unique<NginxServer>(published.path());
            SharedState().serverHost = nginx->hostAndPort();
        }
    }

    QByteArray ServerFile(const char* relative) const {
        QFile file(published.filePath(QString::fromLatin1(relative)));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }
    void Publish(const char* relative, const QByteArray& bytes) const {
        QFile file(published.filePath(QString::fromLatin1(relative)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    void Withdraw(const char* relative) const {
        QFile::remove(published.filePath(QString::fromLatin1(relative)));
    }

    QByteArray News() const { return ServerFile("files/koru/otherinfo.txt") + "\r\n" + separator; }

    QTemporaryDir published;
    std::unique_ptr<SampleServer> sample;
    std::unique_ptr<NginxServer> nginx;
};

TEST_P(ServerCheckTest, NewerVersionIsOffered) {
    Check();
    EXPECT_EQ(Log(), checking + "\r\n" + ServerFile("files/koru/vanto_ver.txt") + "\r\n" +
                         separator + helpLinks + "Old version =      New version = HL0007\r\n" +
                         separator + News());
    EXPECT_TRUE(VantoOffered());
    EXPECT_TRUE(HelpLinksOffered());
    EXPECT_EQ(Read("files/temp/otherinfo.txt"), ServerFile("files/koru/otherinfo.txt"));
    EXPECT_EQ(Read("files/temp/ver.tmp"), ServerFile("files/koru/koru_helplinks.txt"));
    EXPECT_EQ(main().FailedTransfers(), 0);
}

TEST_P(ServerCheckTest, EqualVersionAndStampAreUpToDate) {
    Install("02.14");
    Write("files/koru/koru_helplinks.ver", "HL0007");
    Check();
    EXPECT_EQ(Log(), checking + "You already have the most recent VANTO.\r\n" + separator +
                         helpLinks + "Help Links already up to date.\r\n" + separator + News());
    EXPECT_FALSE(VantoOffered());
    EXPECT_FALSE(HelpLinksOffered());
}

TEST_P(ServerCheckTest, StampsThatDifferInCaseAreDifferent) {
    Write("files/koru/koru_helplinks.ver", "hl0007");
    Check();
    EXPECT_TRUE(Log().contains("Old version = hl0007     New version = HL0007\r\n"));
    EXPECT_TRUE(HelpLinksOffered());
}

TEST_P(ServerCheckTest, MissingVersionFileIsNotFound) {
    Withdraw("files/koru/vanto_ver.txt");
    Check();
    EXPECT_TRUE(Log().startsWith(checking + "FAILED TO FIND UPDATE FILE ON THE SERVER\r\n" +
                                 separator + helpLinks))
        << Log().constData();
    EXPECT_FALSE(VantoOffered());
}

TEST_P(ServerCheckTest, MissingNewsFileAppendsTheNotFoundMessage) {
    Withdraw("files/koru/otherinfo.txt");
    Check();
    EXPECT_TRUE(Log().endsWith("Update file not found on the server.\r\n" + separator));
}

TEST_P(ServerCheckTest, SwitchTurnsTheServiceOffAndOnAgain) {
    Publish("files/koru/killswitch.txt", "killSwitchOn KORU is resting until Monday.");
    Check();
    const QByteArray message = " KORU is resting until Monday.";
    EXPECT_EQ(Log(), "KORU INTERNET IS DOWN\r\n\r\n" + message + "\r\n" + separator + message +
                         "\r\n" + separator);
    EXPECT_FALSE(VantoOffered());

    Withdraw("files/koru/killswitch.txt");
    Check();
    EXPECT_TRUE(Log().startsWith(checking + "\r\nVER = 02.14")) << Log().constData();
    EXPECT_TRUE(VantoOffered());
}

TEST_P(ServerCheckTest, ArchiveArrivesByteForByte) {
    Check();
    ASSERT_TRUE(VantoOffered());
    DialogAnswers answers;
    answers.file = home.filePath("vanto-update");
    main().mnuAvailableDownload(0).Click();
    EXPECT_TRUE(Log().endsWith("Downloading VANTO version 2.14\r\nDone!\r\n" + separator))
        << Log().constData();
    ASSERT_FALSE(ServerFile("files/vanto.zip").isEmpty());
    EXPECT_EQ(Read("vanto-update.zip"), ServerFile("files/vanto.zip"));
}

TEST_P(ServerCheckTest, LargeArchiveStreamsToItsFile) {
    QByteArray archive(40 * 1024 * 1024 + 7, '\0');
    for (qsizetype i = 0; i < archive.size(); i += 4093)
        archive[i] = char(i / 4093);
    Publish("files/vanto.zip", archive);
    Check();
    DialogAnswers answers;
    answers.file = home.filePath("big.zip");
    main().mnuAvailableDownload(0).Click();
    EXPECT_TRUE(Log().endsWith("Done!\r\n" + separator)) << Log().constData();
    EXPECT_TRUE(Read("big.zip") == archive);
    EXPECT_EQ(SharedState().responseLength, archive.size());
    // Nothing of the download is left beside the archive.
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
              QStringList({QStringLiteral("VANTO.ini"), QStringLiteral("big.zip")}));
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerCheckTest,
                         ::testing::Values(ServerKind::Sample, ServerKind::Nginx),
                         [](const ::testing::TestParamInfo<ServerKind>& kind) {
                             return kind.param == ServerKind::Sample ? "SampleServer" : "Nginx";
                         });

} // namespace
