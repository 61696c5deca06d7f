// A server that trickles: once its first byte is in, too few bytes in a
// window end the transfer, though each byte comes well within the stall
// rule. The window is shortened; the rule is the same.
#include "support/CheckFixture.h"
#include "update/net/RateFloor.h"

namespace {

const QByteArray slowly = "The server sends too slowly.";

// A head, then one byte of the body every 40 ms.
ScriptedServer::Script Drip() {
    ScriptedServer::Script script{{{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n"}}};
    for (int i = 0; i < 100; ++i)
        script.steps.append({"x", 40});
    return script;
}

class SlowServerTest : public CheckFixture {
protected:
    SlowServerTest() { RateFloor::windowMs = 300; }
    ~SlowServerTest() override { RateFloor::windowMs = 30000; }
};

TEST_F(SlowServerTest, MainWindowFailsTheTransfer) {
    server.script(killSwitchPath, Drip());
    Check();
    EXPECT_TRUE(
        Log().startsWith("Checking for VANTO Updates...\r\n" + Failed(killSwitchPath, slowly)))
        << Log().constData();
}

} // namespace
