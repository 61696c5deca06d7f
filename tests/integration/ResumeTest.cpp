// Resumed archive downloads against real servers (the sample server and
// nginx both honour Range and If-Range): a relay drops the first download's
// line part way, and the next download asks for the rest.
#include "PublishedTreeTest.h"
#include "support/CuttingRelay.h"
#include "support/DeltaFiles.h"
#include "support/DialogAnswers.h"
#include "update/files/SeedArchive.h"

#include <QRegularExpression>

namespace {

class ResumeTest : public PublishedTreeTest {
protected:
    void SetUp() override {
        PublishedTreeTest::SetUp();
        // A check offered 02.14.
        SharedState().serviceMode = serviceOn;
        SharedState().remoteVersion = 2.14f;
        archive.resize(3 * 1024 * 1024);
        for (qsizetype i = 0; i < archive.size(); ++i)
            archive[i] = char(i * 7 + i / 4096);
        Publish("files/vanto.zip", archive);
    }
    void Download() {
        answers.file = home.filePath("update.zip");
        main().mnuAvailableDownload(0).SetEnabled(true);
        main().mnuAvailableDownload(0).Click();
    }

    QByteArray archive;
    DialogAnswers answers;
};

TEST_P(ResumeTest, InterruptedDownloadGoesOnWhereItStopped) {
    CuttingRelay relay(Port(), 1000 * 1000);
    SharedState().serverHost = Address(relay.hostAndPort());
    Download();
    ASSERT_TRUE(Log().contains("The server closed the connection early.")) << Log().constData();
    Download();
    // Over TLS the relay's cut counts ciphertext: a little less plaintext is kept.
    static const QRegularExpression resumed(QStringLiteral(
        "^Downloading VANTO version 2.14\r\nResuming at 9\\d{5} bytes.\r\nDone!\r\n"));
    EXPECT_TRUE(resumed.match(QString::fromLatin1(Log())).hasMatch()) << Log().constData();
    EXPECT_TRUE(Read("update.zip") == archive);
    if (GetParam() == ServerKind::NginxTls)
        return; // the relay sees only ciphertext
    ASSERT_EQ(relay.requests().size(), 2);
    EXPECT_TRUE(relay.requests()[1].contains("\r\nRange: bytes=99"));
    EXPECT_TRUE(relay.requests()[1].contains("\r\nIf-Range: \""));
}

TEST_P(ResumeTest, ChangedArchiveStartsOver) {
    CuttingRelay relay(Port(), 1000 * 1000);
    SharedState().serverHost = Address(relay.hostAndPort());
    Download();
    archive.append("a new archive, a new validator");
    Publish("files/vanto.zip", archive);
    Download();
    EXPECT_EQ(Log(), "Downloading VANTO version 2.14\r\nDone!\r\n" + separator);
    EXPECT_TRUE(Read("update.zip") == archive);
}

// A kept part of a full download wins over a delta: no control file is asked for.
TEST_P(ResumeTest, KeptPartWinsOverADelta) {
    CuttingRelay relay(Port(), 1000 * 1000);
    SharedState().serverHost = Address(relay.hostAndPort());
    Download();
    ASSERT_TRUE(DeltaFiles::MakeControl(published.filePath(QStringLiteral("files")),
                                        QStringLiteral("vanto.zip")));
    const QString seed = home.filePath("earlier.zip");
    WriteFile(seed, archive.left(2 * 1024 * 1024));
    SeedArchive::Remember(seed);
    Download();
    EXPECT_TRUE(Log().contains("\r\nResuming at ")) << Log().constData();
    EXPECT_TRUE(Read("update.zip") == archive);
    if (GetParam() == ServerKind::NginxTls)
        return; // the relay sees only ciphertext
    EXPECT_EQ(relay.requests().size(), 2);
}

INSTANTIATE_PUBLISHED_TREE_TESTS(ResumeTest);

} // namespace
