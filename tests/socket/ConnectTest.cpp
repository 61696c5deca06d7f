// Connect and close: by dotted address and by name, refused and unknown
// hosts, close during a lookup, argument checks, and the bind before connect.
#include "SocketTestSupport.h"
#include "platform/runtime/RuntimeError.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

namespace {

class ConnectTest : public SocketTest {
protected:
    RawSocket listener = RawSocket::Listener();
    int port = listener.Port();
};

int UnusedPort() {
    RawSocket probe = RawSocket::Listener();
    return probe.Port(); // closed again when the probe ends
}

TEST_F(ConnectTest, DottedAddressGoesStraightToConnecting) {
    auto socket = CSocketMaster::Create();
    EventLog log(*socket);
    socket->Connect("127.0.0.1", port);
    EXPECT_EQ(socket->State(), sckConnecting);
    EXPECT_EQ(resolver->Calls("127.0.0.1"), 0);
    ASSERT_TRUE(WaitFor([&] { return socket->State() == sckConnected; }));
    RawSocket server = listener.Accept();
    EXPECT_TRUE(server.valid());
    EXPECT_EQ(socket->RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(socket->RemotePort(), port);
    RunEventsFor(30);
    EXPECT_EQ(log.lines, QList<QByteArray>{"Connect"});
    socket->CloseSck();
}

TEST_F(ConnectTest, HostNameIsResolvedThenConnectedOnce) {
    auto socket = CSocketMaster::Create();
    EventLog log(*socket);
    socket->Connect("localhost", port);
    EXPECT_EQ(socket->State(), sckResolvingHost);
    EXPECT_EQ(socket->RemoteHostIP(), "");
    ASSERT_TRUE(WaitFor([&] { return socket->State() == sckConnected; }));
    EXPECT_EQ(socket->RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(socket->RemotePort(), port);
    EXPECT_EQ(socket->RemoteHost(), "localhost");
    RunEventsFor(30);
    EXPECT_EQ(log.lines, QList<QByteArray>{"Connect"});
    socket->CloseSck();
    EXPECT_EQ(socket->State(), sckClosed);
    EXPECT_EQ(socket->RemoteHostIP(), "");
    EXPECT_EQ(socket->BytesReceived(), 0);
    EXPECT_EQ(socket->RemoteHost(), "localhost");
    EXPECT_EQ(socket->RemotePort(), port);
    // A second Connect without arguments goes to the same host and port.
    socket->Connect();
    ASSERT_TRUE(WaitFor([&] { return socket->State() == sckConnected; }));
    EXPECT_EQ(log.lines, (QList<QByteArray>{"Connect", "Connect"}));
    socket->CloseSck();
}

TEST_F(ConnectTest, RefusedConnectionIsReportedAsErrorWithoutConnect) {
    auto socket = CSocketMaster::Create();
    EventLog log(*socket);
    socket->Connect("127.0.0.1", UnusedPort());
    ASSERT_TRUE(WaitFor([&] { return socket->State() == sckError; }));
    RunEventsFor(30);
    EXPECT_EQ(log.lines,
              QList<QByteArray>{"Error 10061 Connection refused. CSocketMaster.PostSocket"});
    EXPECT_TRUE(messageBoxes.isEmpty());
    EXPECT_NE(socket->SocketHandle(), -1); // kept until CloseSck
    socket->CloseSck();
    EXPECT_EQ(socket->State(), sckClosed);
}

TEST_F(ConnectTest, FailedLookupsAreReportedThroughConnectToIP) {
    resolver->Fail("nosuch.test", 11001);
    const QList<QPair<QByteArray, QByteArray>> cases = {
        {"nosuch.test", "Error 11001 Host not found. CSocketMaster.ConnectToIP"},
        {"tryagain.test", "Error 11002 Nonauthoritative host not found. CSocketMaster.ConnectToIP"},
        {"norecovery.test",
         "Error 11003 This is a nonrecoverable error. CSocketMaster.ConnectToIP"},
        {"nodata.test", "Error 11004 Valid name, no data record of requested type. "
                        "CSocketMaster.ConnectToIP"},
    };
    for (const auto& [host, line] : cases) {
        auto socket = CSocketMaster::Create();
        EventLog log(*socket);
        socket->Connect(host, port);
        ASSERT_TRUE(WaitFor([&] { return socket->State() == sckError; })) << host.constData();
        EXPECT_EQ(log.lines, QList<QByteArray>{line});
        socket->CloseSck();
    }
}

TEST_F(ConnectTest, ClearedCancelDisplayShowsTheCodesTextOnce) {
    auto socket = CSocketMaster::Create();
    socket->onError = [](std::int16_t, QByteArray& description, std::int32_t, const QByteArray&,
                         const QByteArray&, std::int32_t, bool& cancelDisplay) {
        description = "changed by the handler";
        cancelDisplay = false;
    };
    socket->Connect("nosuch.test", port);
    ASSERT_TRUE(WaitFor([&] { return socket->State() == sckError; }));
    EXPECT_EQ(messageBoxes, QList<QByteArray>{"CSocketMaster.ConnectToIP: Host not found."});
    socket->CloseSck();
}

TEST_F(ConnectTest, CloseDuringLookupEndsItAtOnceAndNothingFollows) {
    auto socket = CSocketMaster::Create();
    EventLog log(*socket);
    socket->Connect("late.test", port);
    EXPECT_EQ(socket->State(), sckResolvingHost);
    socket->CloseSck();
    EXPECT_EQ(socket->State(), sckClosed);
    EXPECT_EQ(socket->SocketHandle(), -1);
    resolver->ReleaseLate();
    RunEventsFor(100);
    EXPECT_TRUE(log.lines.isEmpty());
    EXPECT_EQ(socket->State(), sckClosed);
    EXPECT_FALSE(listener.Accept(50).valid());
}

TEST_F(ConnectTest, SecondConnectWhileConnectingChangesNothing) {
    auto socket = CSocketMaster::Create();
    socket->Connect("127.0.0.1", port);
    const ws::SOCKET handle = socket->SocketHandle();
    ExpectRaises([&] { socket->Connect("localhost", 81); }, 40020,
                 CSocketMaster::InvalidOperationText, "CSocketMaster.Connect");
    EXPECT_EQ(socket->State(), sckConnecting);
    EXPECT_EQ(socket->RemoteHost(), "127.0.0.1");
    EXPECT_EQ(socket->RemotePort(), port);
    EXPECT_EQ(socket->SocketHandle(), handle);
    socket->CloseSck();
}

TEST_F(ConnectTest, BadPortsAreRefusedBeforeAnySocketExists) {
    struct Case {
        Variant port;
        int number;
        const char* description;
    };
    const Case cases[] = {
        {Variant(0), 40014, CSocketMaster::OutOfRangeText},
        {Variant(70000), 40014, CSocketMaster::OutOfRangeText},
        {Variant(65535.5), 40014, CSocketMaster::OutOfRangeText},
        {Variant("http"), 40018, CSocketMaster::UnsupportedTypeText},
        {Variant::Null(), 40018, CSocketMaster::UnsupportedTypeText},
    };
    for (const Case& c : cases) {
        auto socket = CSocketMaster::Create();
        ExpectRaises([&] { socket->Connect("127.0.0.1", c.port); }, c.number, c.description,
                     "CSocketMaster.Connect");
        EXPECT_EQ(socket->SocketHandle(), -1);
        EXPECT_EQ(socket->State(), sckClosed);
        EXPECT_EQ(socket->RemoteHost(), "127.0.0.1"); // stored before the port was checked
    }
}

TEST_F(ConnectTest, PortGivenAsTextIsAccepted) {
    auto socket = CSocketMaster::Create();
    socket->Connect("127.0.0.1", Variant(QByteArray::number(port) + ".4"));
    EXPECT_EQ(socket->RemotePort(), port);
    ASSERT_TRUE(WaitFor([&] { return socket->State() == sckConnected; }));
    socket->CloseSck();
}

TEST_F(ConnectTest, UnresolvableMachineNameStillConnects) {
    resolver->Fail(TestHostName, 11001);
    for (const char* host : {"127.0.0.1", "localhost"}) {
        auto socket = CSocketMaster::Create();
        EventLog log(*socket);
        socket->Connect(host, port);
        ASSERT_TRUE(WaitFor([&] { return socket->State() == sckConnected; })) << host;
        EXPECT_EQ(log.lines, QList<QByteArray>{"Connect"});
        socket->CloseSck();
    }
    // An explicit bind still needs the machine's address.
    auto bound = CSocketMaster::Create();
    ExpectRaises([&] { bound->Bind(); }, 11001, "Host not found.", "CSocketMaster.GetLocalIP");
    EXPECT_EQ(bound->SocketHandle(), -1);
}

TEST_F(ConnectTest, LoopbackMachineAddressIsNotUsedForTheClientSide) {
    resolver->Answer(TestHostName, Address("127.0.0.5"));
    auto socket = CSocketMaster::Create();
    socket->Connect("127.0.0.1", port);
    ASSERT_TRUE(WaitFor([&] { return socket->State() == sckConnected; }));
    RawSocket server = listener.Accept();
    ASSERT_TRUE(server.valid());
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    ::getpeername(server.fd(), reinterpret_cast<sockaddr*>(&peer), &length);
    EXPECT_EQ(peer.sin_addr.s_addr, Address("127.0.0.1")); // the service chose, not 127.0.0.5
    socket->CloseSck();
    // An explicit bind keeps the machine's address.
    auto bound = CSocketMaster::Create();
    bound->Bind(0);
    EXPECT_EQ(bound->LocalIP(), "127.0.0.5");
    bound->CloseSck();
}

TEST_F(ConnectTest, CloseOnObjectWithoutSocketDoesNothing) {
    auto socket = CSocketMaster::Create();
    socket->CloseSck();
    EXPECT_EQ(socket->State(), sckClosed);
    EXPECT_EQ(socket->SocketHandle(), -1);
}

} // namespace
