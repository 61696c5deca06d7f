// "koru-cli check", "help-links-update" and "all": the log of each, and exit
// status 2 when a transfer failed.
#include "console/ConsoleRunner.h"
#include "support/CheckFixture.h"
#include "support/TestFiles.h"

#include <QBuffer>

namespace {

class ConsoleCheckTest : public CheckFixture {
protected:
    int RunCheck(const QByteArray& serverAddress,
                 const QStringList& commands = {QStringLiteral("check")}) {
        qputenv("KORU_SERVER", serverAddress);
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        const int status = ConsoleRunner(out, err).Run(commands);
        qunsetenv("KORU_SERVER");
        return status;
    }
    QBuffer out;
    QBuffer err;
};

TEST_F(ConsoleCheckTest, PrintsTheCheckAndSucceeds) {
    Publish("02.14");
    EXPECT_EQ(RunCheck(server.hostAndPort()), ConsoleRunner::Success);
    EXPECT_TRUE(out.data().startsWith("Checking for VANTO Updates...\r\n\r\nVER = 02.14\r\n"));
    EXPECT_TRUE(out.data().endsWith("News of the day.\r\n" + separator));
}

TEST_F(ConsoleCheckTest, FailedTransferExitsWithTwo) {
    Publish("02.14");
    server.script("/files/koru/otherinfo.txt",
                  {{{ScriptedServer::Response("500 Internal Server Error", "")}},
                   ScriptedServer::Ending::StaySilent});
    EXPECT_EQ(RunCheck(server.hostAndPort()), ConsoleRunner::CommandFailed);
    EXPECT_TRUE(
        out.data().endsWith(Failed(newsPath, "HTTP/1.1 500 Internal Server Error") + separator));
}

TEST_F(ConsoleCheckTest, HelpLinksUpdateAfterACheckFetchesTheItems) {
    Publish("02.13", "HL0008\r\nmanual\r\n");
    server.script("/files/koru/manual.txt", ScriptedServer::Ok("https://vanto.example/manual"));
    server.script("/files/koru/manual.gif", ScriptedServer::Ok("GIF89a"));
    const QStringList commands{QStringLiteral("check"), QStringLiteral("help-links-update")};
    EXPECT_EQ(RunCheck(server.hostAndPort(), commands), ConsoleRunner::Success);
    EXPECT_TRUE(out.data().endsWith(separator + "Downloading manual <TXT><GIF>\r\nDone!\r\n"));
    EXPECT_EQ(Read("files/koru/koru_helplinks.ver"), QByteArray("HL0008"));
}

TEST_F(ConsoleCheckTest, HelpLinksUpdateWithAFailedItemExitsWithTwo) {
    Publish("02.13", "HL0008\r\nmanual\r\n");
    server.script("/files/koru/manual.txt", {{}, ScriptedServer::Ending::Reset});
    const QStringList commands{QStringLiteral("check"), QStringLiteral("help-links-update")};
    EXPECT_EQ(RunCheck(server.hostAndPort(), commands), ConsoleRunner::CommandFailed);
    EXPECT_TRUE(out.data().endsWith("NOT ALL HELP LINKS ARRIVED: the update stays on offer.\r\n"));
}

TEST_F(ConsoleCheckTest, AllTakesTheArchivesSaveNameAndRunsTheHelpLinks) {
    Publish("02.13", "HL0008\r\n");
    const QStringList commands{QStringLiteral("check"), QStringLiteral("all"),
                               home.filePath("vanto.zip")};
    EXPECT_EQ(RunCheck(server.hostAndPort(), commands), ConsoleRunner::Success);
    EXPECT_TRUE(out.data().endsWith(separator + "Done!\r\n"));
    EXPECT_EQ(RunCheck(server.hostAndPort(), {QStringLiteral("all")}), ConsoleRunner::BadUsage);
}

// install --check without a verified release list says why there is none.
struct UnverifiedCase {
    const char* name;
    bool key;
    const char* list; // the server's release list; none for nullptr
    const char* why;
};

class ConsoleUnverifiedTest : public ConsoleCheckTest,
                              public ::testing::WithParamInterface<UnverifiedCase> {};

TEST_P(ConsoleUnverifiedTest, InstallCheckSaysWhyNoListWasVerified) {
    Publish("02.14");
    if (GetParam().key)
        Write("files/koru/update.pub",
              ReadFile(QStringLiteral(KORU_SAMPLE_DIR "/vanto-key/update.pub")));
    if (GetParam().list != nullptr)
        server.script("/files/koru/release.txt", ScriptedServer::Ok(GetParam().list));
    EXPECT_EQ(RunCheck(server.hostAndPort(), {QStringLiteral("install"), QStringLiteral("--check"),
                                              QStringLiteral("vanto.zip")}),
              ConsoleRunner::CommandFailed);
    EXPECT_TRUE(out.data().contains(QByteArray("this check verified none: ") + GetParam().why))
        << out.data().constData();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleUnverifiedTest,
    ::testing::Values(UnverifiedCase{"NoKey", false, nullptr,
                                     "there is no publisher's key (files/koru/update.pub)"},
                      UnverifiedCase{"NoListOnTheServer", true, nullptr,
                                     "the server publishes no release list."},
                      // Its signature is missing.
                      UnverifiedCase{"RefusedList", true, "koru-release 1\nserial 1\n",
                                     "the check did not accept the server's release list"}),
    [](const ::testing::TestParamInfo<UnverifiedCase>& row) { return row.param.name; });

} // namespace
