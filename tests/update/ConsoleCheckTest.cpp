// "koru-cli check": the log of a check, and exit status 2 when a transfer failed.
#include "support/CheckFixture.h"
#include "update/ConsoleRunner.h"

#include <QBuffer>

namespace {

class ConsoleCheckTest : public CheckFixture {
protected:
    int RunCheck(const QByteArray& serverAddress) {
        qputenv("KORU_SERVER", serverAddress);
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        const int status = ConsoleRunner(out, err).Run({QStringLiteral("check")});
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
    EXPECT_TRUE(out.data().endsWith(Failed("HTTP/1.1 500 Internal Server Error") + separator));
}

} // namespace
