// Properties of the socket object: initial values, ranges, the states in
// which they may change, and the local address answers.
#include "SocketTestSupport.h"

#include <gtest/gtest.h>

namespace {

class PropertyTest : public SocketTest {};

TEST_F(PropertyTest, NewObjectStartsClosedAndEmpty) {
    auto socket = CSocketMaster::Create();
    EXPECT_EQ(socket->State(), sckClosed);
    EXPECT_EQ(socket->SocketHandle(), -1);
    EXPECT_EQ(socket->LocalPort(), 0);
    EXPECT_EQ(socket->RemotePort(), 0);
    EXPECT_EQ(socket->Protocol(), sckTCP);
    EXPECT_EQ(socket->RemoteHost(), "");
    EXPECT_EQ(socket->RemoteHostIP(), "");
    EXPECT_EQ(socket->Tag(), "");
    EXPECT_EQ(socket->BytesReceived(), 0);
    EXPECT_EQ(socket->LocalHostName(), TestHostName);
}

TEST_F(PropertyTest, PortsAreCheckedAtTheirEdges) {
    auto socket = CSocketMaster::Create();
    for (int port : {0, 65535}) {
        socket->RemotePort(port);
        EXPECT_EQ(socket->RemotePort(), port);
        socket->LocalPort(port);
        EXPECT_EQ(socket->LocalPort(), port);
    }
    for (int port : {-1, 65536}) {
        ExpectRaises([&] { socket->RemotePort(port); }, 40014, CSocketMaster::OutOfRangeText,
                     "CSocketMaster.RemotePort");
        ExpectRaises([&] { socket->LocalPort(port); }, 40014, CSocketMaster::OutOfRangeText,
                     "CSocketMaster.LocalPort");
    }
    EXPECT_EQ(socket->RemotePort(), 65535);
}

TEST_F(PropertyTest, ConnectingTcpObjectRefusesChangesButTakesTag) {
    RawSocket listener = RawSocket::Listener();
    auto socket = CSocketMaster::Create();
    socket->Connect("127.0.0.1", listener.Port());
    ASSERT_EQ(socket->State(), sckConnecting);
    const QByteArray source = "CSocketMaster.";
    ExpectRaises([&] { socket->RemotePort(80); }, 40020, CSocketMaster::InvalidOperationText,
                 source + "RemotePort");
    ExpectRaises([&] { socket->RemoteHost("x"); }, 40020, CSocketMaster::InvalidOperationText,
                 source + "RemoteHost");
    ExpectRaises([&] { socket->LocalPort(80); }, 40020, CSocketMaster::InvalidOperationText,
                 source + "LocalPort");
    ExpectRaises([&] { socket->Protocol(sckUDP); }, 40020, CSocketMaster::InvalidOperationText,
                 source + "Protocol");
    socket->Tag("busy");
    EXPECT_EQ(socket->Tag(), "busy");
    EXPECT_EQ(socket->RemotePort(), listener.Port());
    socket->CloseSck();
}

TEST_F(PropertyTest, OpenUdpObjectTakesNewRemoteHostAndPort) {
    auto socket = CSocketMaster::Create();
    socket->Protocol(sckUDP);
    socket->Bind(0);
    ASSERT_EQ(socket->State(), sckOpen);
    socket->RemotePort(5000);
    socket->RemoteHost("127.0.0.1");
    EXPECT_EQ(socket->RemotePort(), 5000);
    EXPECT_EQ(socket->RemoteHost(), "127.0.0.1");
    socket->CloseSck();
}

TEST_F(PropertyTest, ProtocolFiveIsStoredAndMakesDatagramSockets) {
    auto socket = CSocketMaster::Create();
    socket->Protocol(5);
    EXPECT_EQ(socket->Protocol(), 5);
    socket->Bind(0);
    RawSocket peer = RawSocket::Udp();
    peer.SendTo(socket->LocalPort(), "datagram");
    EXPECT_TRUE(WaitFor([&] { return socket->BytesReceived() == 8; }));
    socket->CloseSck();
}

TEST_F(PropertyTest, LocalIpWhenConnectedIsTheMachinesFirstAddress) {
    resolver->Answer(TestHostName, Address("127.0.0.7"));
    RawSocket listener = RawSocket::Listener();
    auto socket = CSocketMaster::Create();
    socket->Connect("127.0.0.1", listener.Port());
    ASSERT_TRUE(WaitFor([&] { return socket->State() == sckConnected; }));
    EXPECT_EQ(socket->LocalIP(), "127.0.0.7");
    socket->CloseSck();
}

} // namespace
