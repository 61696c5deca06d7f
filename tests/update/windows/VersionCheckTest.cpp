// "Check for available updates" end to end against a scripted server: the
// verdicts, the server switch, the help-links stamps, the news, and the
// requests on the wire.
#include "support/CheckFixture.h"

#include <QDir>
#include <QTimer>

namespace {

using VersionCheckTest = CheckFixture;

const QByteArray checking = "Checking for VANTO Updates...\r\n";
const QByteArray helpLinks = "Checking for Help Link updates... \r\n";
const QByteArray news = "News of the day.\r\n" + separator;

TEST_F(VersionCheckTest, NewerVersionShowsTheVersionFileAndOffersBothUpdates) {
    Publish("02.14");
    Check();
    EXPECT_EQ(Log(), checking + "\r\nVER = 02.14\r\nRelease notes.\r\n" + separator + helpLinks +
                         "Old version =      New version = HL0007\r\n" + separator + news);
    EXPECT_TRUE(VantoOffered());
    EXPECT_TRUE(HelpLinksOffered());
    EXPECT_FLOAT_EQ(SharedState().remoteVersion, 2.14f);
    EXPECT_EQ(Read("files/temp/otherinfo.txt"), QByteArray("News of the day."));
    EXPECT_EQ(Read("files/temp/ver.tmp"), QByteArray("HL0007\r\nmanual"));
    EXPECT_EQ(main().FailedTransfers(), 0);
}

TEST_F(VersionCheckTest, RequestsAreTheSixLineGetsInOrder) {
    Publish();
    Check();
    const QByteArray host = server.hostAndPort();
    QList<QByteArray> expected;
    for (const char* path : {"/files/koru/killswitch.txt", "/files/koru/vanto_ver.txt",
                             "/files/koru/koru_helplinks.txt", "/files/koru/otherinfo.txt"})
        expected.append("GET http://" + host + path + " HTTP/1.1\r\nHost: " + host +
                        "\r\nAccept: */*\r\nAccept-Language: en\r\n"
                        "Connection: Keep-Alive\r\n\r\n");
    EXPECT_EQ(server.requests(), expected);
}

TEST_F(VersionCheckTest, EqualVersionAndStampAreUpToDate) {
    Publish("02.13");
    Write("files/koru/koru_helplinks.ver", "HL0007");
    Check();
    EXPECT_EQ(Log(), checking + "You already have the most recent VANTO.\r\n" + separator +
                         helpLinks + "Help Links already up to date.\r\n" + separator + news);
    EXPECT_FALSE(VantoOffered());
    EXPECT_FALSE(HelpLinksOffered());
}

TEST_F(VersionCheckTest, StampsDifferingOnlyInCaseAreDifferent) {
    Publish("02.13");
    Write("files/koru/koru_helplinks.ver", "hl0007");
    Check();
    EXPECT_TRUE(Log().contains("Old version = hl0007     New version = HL0007\r\n"));
    EXPECT_TRUE(HelpLinksOffered());
}

TEST_F(VersionCheckTest, MissingVersionFileIsReportedAsNotFound) {
    Publish();
    server.script("/files/koru/vanto_ver.txt", ScriptedServer::NotFound());
    Check();
    EXPECT_TRUE(Log().startsWith(checking + "FAILED TO FIND UPDATE FILE ON THE SERVER\r\n" +
                                 separator + helpLinks));
    EXPECT_FALSE(VantoOffered());
}

TEST_F(VersionCheckTest, AServerWithoutTheFilesOffersNothing) {
    // Every answer is "not found": no list is no set of help links to compare.
    Write("files/koru/koru_helplinks.ver", "HL0007");
    main().mnuAvailableDownload(1).SetEnabled(true);
    Check();
    EXPECT_EQ(Log(), checking + "FAILED TO FIND UPDATE FILE ON THE SERVER\r\n" + separator +
                         helpLinks + "FAILED TO FIND HELP LINKS ON THE SERVER\r\n" + separator +
                         "Update file not found on the server.\r\n" + separator);
    EXPECT_FALSE(VantoOffered());
    EXPECT_FALSE(HelpLinksOffered());
    EXPECT_EQ(Read("files/koru/koru_helplinks.ver"), QByteArray("HL0007"));
    EXPECT_EQ(main().FailedTransfers(), 0);
}

TEST_F(VersionCheckTest, AFolderWithoutFilesKoruFailsTheHelpLinksStepAndGoesOnToTheNews) {
    Publish();
    ASSERT_TRUE(QDir(home.filePath("files/koru")).removeRecursively());
    Check();
    EXPECT_EQ(Log(), checking + "\r\nVER = 02.14\r\nRelease notes.\r\n" + separator + helpLinks +
                         "SAVE FAILED: " +
                         QFile::encodeName(home.filePath("files/koru/koru_helplinks.ver")) +
                         ": Path not found.\r\n" + separator + news);
    EXPECT_FALSE(HelpLinksOffered());
    EXPECT_EQ(main().FailedTransfers(), 1);
}

TEST_F(VersionCheckTest, SwitchOffShowsTheServersMessageUntilItIsOnAgain) {
    Publish();
    server.script("/files/koru/killswitch.txt",
                  ScriptedServer::Ok("killswitchonDown for maintenance."));
    Check();
    const QByteArray message = "Down for maintenance.";
    EXPECT_EQ(Log(), "KORU INTERNET IS DOWN\r\n\r\n" + message + "\r\n" + separator + message +
                         "\r\n" + separator);
    EXPECT_EQ(SharedState().serviceMode, serviceOff);
    EXPECT_FALSE(VantoOffered());

    // Nothing but the switch was fetched.
    EXPECT_EQ(server.requestLines().size(), 1);

    server.script("/files/koru/killswitch.txt", ScriptedServer::NotFound());
    Check();
    EXPECT_EQ(SharedState().serviceMode, serviceOn);
    EXPECT_TRUE(Log().startsWith(checking + "\r\nVER = 02.14"));
    EXPECT_TRUE(VantoOffered());
}

TEST_F(VersionCheckTest, NoInstallationStillAsksTheSwitchBeforeComparingStamps) {
    QFile::remove(home.filePath("VANTO.ini"));
    Publish();
    server.script("/files/koru/killswitch.txt", ScriptedServer::Ok("All services running."));
    Check();
    EXPECT_EQ(Log(), checking +
                         "NO VALID VANTO.INI FOUND!\r\nThis should never normally happen.\r\n" +
                         separator + helpLinks + "Old version =      New version = HL0007\r\n" +
                         separator + news);
    EXPECT_TRUE(QFile::exists(home.filePath("VANTO.ini")));
    EXPECT_EQ(SharedState().serviceMode, serviceOn);
    QList<QByteArray> paths;
    for (const QByteArray& line : server.requestLines())
        paths.append(line.split(' ').value(1).mid(server.hostAndPort().size() + 7));
    EXPECT_EQ(paths,
              (QList<QByteArray>{"/files/koru/killswitch.txt", "/files/koru/koru_helplinks.txt",
                                 "/files/koru/otherinfo.txt"}));
}

TEST_F(VersionCheckTest, VersionReadingStopsAtTheSecondPoint) {
    Install("02.13");
    Publish("2.2.0");
    Check();
    EXPECT_FLOAT_EQ(SharedState().remoteVersion, 2.2f);
    EXPECT_TRUE(VantoOffered());
}

TEST_F(VersionCheckTest, HeaderBlockSplitOverTwoArrivalsStillCompletes) {
    Publish();
    const QByteArray response = ScriptedServer::Response("200 OK", "VER = 02.14\r\nRelease notes.");
    const qsizetype cut = response.indexOf("Content-Type") + 4;
    server.script("/files/koru/vanto_ver.txt", {{{response.left(cut)}, {response.mid(cut), 60}},
                                                ScriptedServer::Ending::StaySilent});
    Check();
    EXPECT_TRUE(Log().startsWith(checking + "\r\nVER = 02.14"));
    EXPECT_TRUE(VantoOffered());
}

TEST_F(VersionCheckTest, BodyWithoutLengthEndsWhenTheServerCloses) {
    Publish();
    // The head alone first: nothing announced is not an empty body.
    server.script("/files/koru/vanto_ver.txt",
                  {{{"HTTP/1.1 200 OK\r\n\r\n"}, {"VER = 02.14\r\nRelease notes.", 60}},
                   ScriptedServer::Ending::Close});
    Check();
    EXPECT_TRUE(Log().startsWith(checking + "\r\nVER = 02.14")) << Log().constData();
    EXPECT_TRUE(VantoOffered());
}

TEST_F(VersionCheckTest, ASwitchedOffServerLeavesTheHelpLinksOfferAsItWas) {
    main().mnuAvailableDownload(1).SetEnabled(true);
    server.script(killSwitchPath, ScriptedServer::Ok("killswitchonDown for maintenance."));
    Check();
    EXPECT_TRUE(HelpLinksOffered());
}

TEST_F(VersionCheckTest, StepsAfterTheMainWindowClosedFailWithoutItsSocket) {
    Publish();
    server.script(killSwitchPath, {{}, ScriptedServer::Ending::StaySilent});
    main().mnuHelpLinks.Click(); // keeps the program running without the main window
    QTimer::singleShot(0, [this] { main().Unload(); });
    Check();
    const QByteArray closed = "The main window is closed.";
    EXPECT_EQ(Log(), checking + Failed(killSwitchPath, "The main window was closed.") +
                         Failed(versionPath, closed) + separator + helpLinks +
                         Failed(listPath, closed) + separator + Failed(newsPath, closed) +
                         separator);
}

} // namespace
