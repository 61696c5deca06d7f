// Transfers that cannot succeed end at once as failed, say why in the log,
// save nothing and never lead to a verdict or an offered update.
#include "BrokenAnswers.h"
#include "platform/runtime/Events.h"
#include "support/CheckFixture.h"
#include "update/net/ServerConnection.h"

namespace {

using TransferFailureTest = CheckFixture;

const QByteArray checking = "Checking for VANTO Updates...\r\n";
const QByteArray notes = "VER = 02.14\r\nRelease notes.";

class BrokenVersionFileTest : public CheckFixture,
                              public ::testing::WithParamInterface<BrokenAnswer> {};

TEST_P(BrokenVersionFileTest, FailsTheVersionStepWithItsReason) {
    Publish();
    Write("files/temp/ver.tmp", "before");
    server.script("/files/koru/killswitch.txt", ScriptedServer::Ok("on"));
    server.script("/files/koru/vanto_ver.txt",
                  GetParam().answer(ScriptedServer::Response("200 OK", notes)));
    main().mnuAvailableDownload(0).SetEnabled(true); // offered by an earlier check
    Check();
    EXPECT_TRUE(Log().startsWith(checking + Failed(versionPath, GetParam().versionStep) +
                                 separator + "Checking for Help Link updates... \r\nOld version"))
        << Log().constData();
    EXPECT_FALSE(Log().contains("most recent")) << Log().constData();
    EXPECT_FALSE(VantoOffered());
    EXPECT_EQ(main().FailedTransfers(), 1);
}

INSTANTIATE_TEST_SUITE_P(Answers, BrokenVersionFileTest,
                         ::testing::ValuesIn(brokenAnswers::For(&BrokenAnswer::versionStep)),
                         brokenAnswers::Name);

struct BrokenSwitch {
    const char* name;
    ScriptedServer::Script script;
    QByteArray reason;
};

class FailedSwitchTest : public CheckFixture, public ::testing::WithParamInterface<BrokenSwitch> {};

TEST_P(FailedSwitchTest, GivesNoVerdictAndTheServiceStaysOn) {
    Publish();
    server.script("/files/koru/killswitch.txt", GetParam().script);
    Check();
    EXPECT_TRUE(Log().startsWith(checking + Failed(killSwitchPath, GetParam().reason) + "\r\n" +
                                 notes + "\r\n" + separator))
        << Log().constData();
    EXPECT_EQ(SharedState().serviceMode, serviceOn);
    EXPECT_TRUE(VantoOffered());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FailedSwitchTest,
    ::testing::Values(
        BrokenSwitch{"ServerError",
                     {{{ScriptedServer::Response("500 Internal Server Error", "KILLSWITCHON")}},
                      ScriptedServer::Ending::StaySilent},
                     "HTTP/1.1 500 Internal Server Error"},
        BrokenSwitch{"EarlyCloseAfterTheKeyword",
                     {{{"HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\nKILLSWITCHON"}},
                      ScriptedServer::Ending::Close},
                     "The server closed the connection early."},
        BrokenSwitch{"NotHttp",
                     {{{"KILLSWITCHON\r\n\r\n"}}, ScriptedServer::Ending::StaySilent},
                     "The server's answer is not HTTP."}),
    [](const ::testing::TestParamInfo<BrokenSwitch>& param) { return param.param.name; });

const QByteArray full = ScriptedServer::Response("200 OK", notes);

TEST_F(TransferFailureTest, NothingIsSavedFromAFailedTransfer) {
    Publish();
    server.script("/files/koru/killswitch.txt",
                  {{{ScriptedServer::Response("500 Internal Server Error", "oops")}},
                   ScriptedServer::Ending::StaySilent});
    server.script("/files/koru/vanto_ver.txt",
                  {{{full.left(full.size() - 3)}}, ScriptedServer::Ending::Close});
    Write("files/temp/ver.tmp", "before");
    server.script("/files/koru/koru_helplinks.txt", {{}, ScriptedServer::Ending::Close});
    server.script("/files/koru/otherinfo.txt", {{}, ScriptedServer::Ending::Close});
    Check();
    EXPECT_EQ(Read("files/temp/ver.tmp"), QByteArray("before"));
    EXPECT_EQ(Read("files/temp/otherinfo.txt"), QByteArray("<missing>"));
    EXPECT_EQ(main().FailedTransfers(), 4);
}

TEST_F(TransferFailureTest, RefusedConnectionFailsEveryStepAtOnce) {
    SharedState().serverHost = TestVantoHome::ClosedServer();
    Check();
    const auto refused = [](const char* path) { return Failed(path, "Connection refused."); };
    // Each line names its file, so two failures in a row are told apart.
    EXPECT_EQ(Log(), checking + refused(killSwitchPath) + refused(versionPath) + separator +
                         "Checking for Help Link updates... \r\n" + refused(listPath) + separator +
                         refused(newsPath) + separator);
    EXPECT_FALSE(VantoOffered());
    EXPECT_FALSE(HelpLinksOffered());
    EXPECT_EQ(SharedState().serviceMode, serviceOn);
}

TEST_F(TransferFailureTest, UnknownHostIsNamed) {
    SharedState().serverHost = "nowhere.test:8080";
    Check();
    EXPECT_TRUE(Log().startsWith(checking + Failed(killSwitchPath,
                                                   "Cannot find the update server nowhere.test "
                                                   "(Host not found.)")))
        << Log().constData();
    EXPECT_EQ(ServerConnection::ErrorReason(10061, "Connection refused.", "nowhere.test"),
              QByteArray("Connection refused."));
}

TEST_F(TransferFailureTest, FailedListFetchComparesNoStamp) {
    Publish("02.13");
    Write("files/temp/ver.tmp", "HL9999\r\nold");
    main().mnuAvailableDownload(1).SetEnabled(true);
    server.script("/files/koru/koru_helplinks.txt",
                  {{{ScriptedServer::Response("503 Service Unavailable", "")}},
                   ScriptedServer::Ending::StaySilent});
    Check();
    EXPECT_TRUE(Log().contains("Checking for Help Link updates... \r\n" +
                               Failed(listPath, "HTTP/1.1 503 Service Unavailable") + separator +
                               "News of the day."))
        << Log().constData();
    EXPECT_FALSE(Log().contains("Old version"));
    EXPECT_FALSE(HelpLinksOffered());
}

TEST_F(TransferFailureTest, NoSecondCheckStartsWhileOneWaits) {
    Publish();
    server.script("/files/koru/killswitch.txt",
                  {{{ScriptedServer::Response("404 Not Found", "404 Not Found"), 100}},
                   ScriptedServer::Ending::StaySilent});
    bool tried = false;
    main().Timer1.onTimer = [this, &tried] {
        if (!tried) {
            tried = true;
            EXPECT_FALSE(main().mnuUpdate.Enabled());
            Check(); // a click that slipped through is refused
        }
        main().Timer1_Timer();
    };
    Check();
    EXPECT_TRUE(tried);
    EXPECT_TRUE(main().mnuUpdate.Enabled());
    EXPECT_EQ(server.requestLines().size(), 4);
    EXPECT_EQ(main().FailedTransfers(), 0);
}

TEST_F(TransferFailureTest, StallCountHoldsAtItsLimit) {
    SharedState().stallTicks = 254;
    SharedState().lastLength = 0;
    main().Timer1_Timer();
    main().Timer1_Timer();
    EXPECT_EQ(SharedState().stallTicks, 255);
}

TEST_F(TransferFailureTest, ProgressDigitsReplaceTheLogsLastSeven) {
    SharedState().requestPath = "/files/vanto.zip";
    main().SystemMessagesText1.SetText("Bytes received: 0000000");
    SharedState().responseLength = 12345678;
    main().Timer1_Timer();
    EXPECT_EQ(Log(), QByteArray("Bytes received: 2345678"));
    EXPECT_EQ(SharedState().stallTicks, 0);
}

TEST(ProgressDigitsTest, ProgressShowsTheLowSevenDigits) {
    EXPECT_EQ(MainForm::SevenDigits(0), QByteArray("0000000"));
    EXPECT_EQ(MainForm::SevenDigits(1234), QByteArray("0001234"));
    EXPECT_EQ(MainForm::SevenDigits(9999999), QByteArray("9999999"));
    EXPECT_EQ(MainForm::SevenDigits(12345678), QByteArray("2345678"));
}

} // namespace
