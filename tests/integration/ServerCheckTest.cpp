// "Check for available updates" end to end against real servers on loopback:
// the bundled sample server and nginx, both publishing the sample tree.
#include "PublishedTreeTest.h"
#include "support/DialogAnswers.h"

#include <QDir>
#include <ostream>

namespace {

const QByteArray checking = "Checking for VANTO Updates...\r\n";
const QByteArray helpLinks = "Checking for Help Link updates... \r\n";

using ServerCheckTest = PublishedTreeTest;

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

TEST_P(ServerCheckTest, SignedSampleArchiveIsVerified) {
    // The demo's key: the sample tree's archive is signed with it.
    QFile::copy(QStringLiteral(KORU_SAMPLE_DIR "/vanto-key/update.pub"),
                home.filePath("files/koru/update.pub"));
    Check();
    DialogAnswers answers;
    answers.file = home.filePath("vanto-update.zip");
    main().mnuAvailableDownload(0).Click();
    EXPECT_TRUE(Log().endsWith("Signature verified: VANTO 2.14 (demo archive, demo key)\r\n"
                               "Done!\r\n" +
                               separator))
        << Log().constData();
    EXPECT_EQ(Read("vanto-update.zip"), ServerFile("files/vanto.zip"));
}

INSTANTIATE_PUBLISHED_TREE_TESTS(ServerCheckTest);

} // namespace
