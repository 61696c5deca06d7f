// Bind: the chosen port, argument checks before any socket exists, the
// address forms, and the states in which binding is allowed.
#include "SocketTestSupport.h"

#include <gtest/gtest.h>

namespace {

class BindTest : public SocketTest {};

TEST_F(BindTest, PortZeroReportsTheChosenPortUntilClose) {
    auto socket = CSocketMaster::Create();
    socket->LocalPort(0);
    socket->Bind(0);
    EXPECT_EQ(socket->State(), sckOpen);
    EXPECT_GT(socket->LocalPort(), 0);
    EXPECT_EQ(socket->LocalIP(), "127.0.0.1");
    socket->CloseSck();
    EXPECT_EQ(socket->LocalPort(), 0);
}

TEST_F(BindTest, GivenPortBecomesTheLocalPort) {
    RawSocket probe = RawSocket::Listener();
    const int free = probe.Port();
    probe.Close();
    auto socket = CSocketMaster::Create();
    socket->Bind(free, "");
    EXPECT_EQ(socket->LocalPort(), free);
    EXPECT_EQ(socket->LocalIP(), "127.0.0.1");
    socket->CloseSck();
    EXPECT_EQ(socket->LocalPort(), free); // the asked-for port stays
}

TEST_F(BindTest, BadArgumentsAreRefusedBeforeAnySocketExists) {
    struct Case {
        Variant port;
        Variant address;
        int number;
        const char* description;
    };
    const Case cases[] = {
        {Variant(65536), Variant::Missing(), 40014, CSocketMaster::OutOfRangeText},
        {Variant(-1), Variant::Missing(), 40014, CSocketMaster::OutOfRangeText},
        {Variant(-0.25), Variant::Missing(), 40014, CSocketMaster::OutOfRangeText},
        {Variant("any"), Variant::Missing(), 40018, CSocketMaster::UnsupportedTypeText},
        {Variant(0), Variant("nosuch.test"), 40014, CSocketMaster::InvalidArgumentText},
    };
    for (const Case& c : cases) {
        auto socket = CSocketMaster::Create();
        ExpectRaises([&] { socket->Bind(c.port, c.address); }, c.number, c.description,
                     "CSocketMaster.BindInternal");
        EXPECT_EQ(socket->SocketHandle(), -1);
        EXPECT_EQ(socket->State(), sckClosed);
    }
}

TEST_F(BindTest, DottedAndNamedAddressesAreBound) {
    auto dotted = CSocketMaster::Create();
    dotted->Bind(0, "127.0.0.1");
    EXPECT_EQ(dotted->LocalIP(), "127.0.0.1");
    auto named = CSocketMaster::Create();
    named->Bind(0, "localhost");
    EXPECT_EQ(named->LocalIP(), "127.0.0.1");
    dotted->CloseSck();
    named->CloseSck();
}

TEST_F(BindTest, BindOnOpenObjectIsRefused) {
    auto socket = CSocketMaster::Create();
    socket->Bind(0);
    ExpectRaises([&] { socket->Bind(0); }, 40020, CSocketMaster::InvalidOperationText,
                 "CSocketMaster.Bind");
    EXPECT_EQ(socket->State(), sckOpen);
    socket->CloseSck();
}

TEST_F(BindTest, PortInUseIsRaisedAndLeavesTheSocketForClose) {
    RawSocket taken = RawSocket::Listener();
    auto socket = CSocketMaster::Create();
    ExpectRaises([&] { socket->Bind(taken.Port(), "127.0.0.1"); }, 10048, "Address already in use.",
                 "CSocketMaster.BindInternal");
    EXPECT_EQ(socket->State(), sckClosed);
    EXPECT_NE(socket->SocketHandle(), -1);
    socket->CloseSck();
    EXPECT_EQ(socket->SocketHandle(), -1);
}

} // namespace
