// Listen and accept: requests taken inside ConnectionRequest or left to be
// closed, what arrives before Accept, the listener's remote fields during the
// event, and the refused calls.
#include "SocketTestSupport.h"
#include "platform/runtime/RuntimeError.h"
#include "socket/modSocketMaster.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

namespace {

class AcceptTest : public SocketTest {
protected:
    void SetUp() override {
        SocketTest::SetUp();
        listener = CSocketMaster::Create();
        listener->Listen();
        ASSERT_EQ(listener->State(), sckListening);
    }
    void TearDown() override {
        listener.reset();
        SocketTest::TearDown();
    }
    std::shared_ptr<CSocketMaster> listener;
};

TEST_F(AcceptTest, IgnoredRequestIsClosedAtOnce) {
    EventLog log(*listener);
    RawSocket client = RawSocket::ConnectTo(listener->LocalPort());
    ASSERT_TRUE(WaitFor([&] { return !log.lines.isEmpty(); }));
    EXPECT_EQ(log.lines, QList<QByteArray>{"ConnectionRequest"});
    EXPECT_TRUE(client.PeerClosed());
    EXPECT_EQ(modSocketMaster::acceptRegistryCount(), 0);
    EXPECT_EQ(modSocketMaster::liveObjects(), 1);
    EXPECT_EQ(listener->State(), sckListening);
}

TEST_F(AcceptTest, RequestIsClosedAlsoWhenTheHandlerRaises) {
    listener->onConnectionRequest = [](std::int32_t) {
        throw RuntimeError(40020, CSocketMaster::InvalidOperationText, "handler");
    };
    RawSocket client = RawSocket::ConnectTo(listener->LocalPort());
    EXPECT_TRUE(client.PeerClosed());
    EXPECT_EQ(modSocketMaster::acceptRegistryCount(), 0);
    EXPECT_EQ(modSocketMaster::liveObjects(), 1);
    EXPECT_EQ(listener->State(), sckListening);
}

TEST_F(AcceptTest, RemoteFieldsDescribeTheCallerDuringTheEventOnly) {
    listener->CloseSck();
    listener->RemoteHost("origin");
    listener->RemotePort(1234);
    listener->Listen();
    QList<QByteArray> during;
    listener->onConnectionRequest = [&](std::int32_t) {
        during = {listener->RemoteHostIP(), QByteArray::number(listener->RemotePort()),
                  listener->RemoteHost()};
    };
    RawSocket client = RawSocket::ConnectTo(listener->LocalPort());
    ASSERT_TRUE(WaitFor([&] { return !during.isEmpty(); }));
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(client.fd(), reinterpret_cast<sockaddr*>(&local), &length);
    EXPECT_EQ(during,
              (QList<QByteArray>{"127.0.0.1", QByteArray::number(ntohs(local.sin_port)), ""}));
    EXPECT_EQ(listener->RemoteHostIP(), "");
    EXPECT_EQ(listener->RemotePort(), 1234);
    EXPECT_EQ(listener->RemoteHost(), "origin");
}

TEST_F(AcceptTest, AcceptInsideTheEventTakesTheConnection) {
    auto server = CSocketMaster::Create();
    EventLog log(*server);
    listener->onConnectionRequest = [&](std::int32_t requestID) { server->Accept(requestID); };
    RawSocket client = RawSocket::ConnectTo(listener->LocalPort());
    ASSERT_TRUE(WaitFor([&] { return server->State() == sckConnected; }));
    EXPECT_EQ(server->RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(server->RemoteHost(), "");
    EXPECT_EQ(server->LocalPort(), listener->LocalPort());
    EXPECT_EQ(modSocketMaster::acceptRegistryCount(), 0);
    client.SendAll("ping");
    ASSERT_TRUE(WaitFor([&] { return server->BytesReceived() == 4; }));
    server->SendData(Variant("pong"));
    EXPECT_EQ(client.ReadExactly(4), "pong");
    client.Close();
    ASSERT_TRUE(WaitFor([&] { return server->State() == sckClosing; }));
    EXPECT_EQ(log.lines,
              (QList<QByteArray>{"DataArrival 4", "SendProgress 4 0", "SendComplete", "CloseSck"}));
    server->CloseSck();
}

TEST_F(AcceptTest, DataAndCloseBeforeAcceptAreDeliveredByIt) {
    auto server = CSocketMaster::Create();
    EventLog log(*server);
    QByteArray early;
    server->onDataArrival = [&](std::int32_t total) {
        log.lines.append("DataArrival " + QByteArray::number(total));
        server->GetData(early);
    };
    RawSocket client;
    listener->onConnectionRequest = [&](std::int32_t requestID) {
        client.SendAll("early");
        client.Close();
        // The holder collects the data and the close while the owner waits.
        ASSERT_TRUE(WaitFor(
            [&] { return modSocketMaster::GetAcceptObject(requestID)->State() == sckClosing; }));
        server->Accept(requestID);
    };
    client = RawSocket::ConnectTo(listener->LocalPort());
    ASSERT_TRUE(WaitFor([&] { return server->State() == sckClosing; }));
    EXPECT_EQ(log.lines, (QList<QByteArray>{"DataArrival 5", "CloseSck"}));
    EXPECT_EQ(early, "early");
    server->CloseSck();
}

TEST_F(AcceptTest, AcceptOnBusyObjectIsRefusedAndTheRequestWaits) {
    auto busy = CSocketMaster::Create();
    busy->Bind(0);
    bool stillWaiting = false;
    listener->onConnectionRequest = [&](std::int32_t requestID) {
        ExpectRaises([&] { busy->Accept(requestID); }, 40020, CSocketMaster::InvalidOperationText,
                     "CSocketMaster.Accept");
        stillWaiting = modSocketMaster::IsAcceptRegistered(requestID);
    };
    RawSocket client = RawSocket::ConnectTo(listener->LocalPort());
    ASSERT_TRUE(WaitFor([&] { return stillWaiting; }));
    EXPECT_TRUE(client.PeerClosed());
    busy->CloseSck();
}

TEST_F(AcceptTest, SocketOfAnotherObjectCannotBeAccepted) {
    RawSocket client;
    auto owner = AcceptedServer(client);
    auto intruder = CSocketMaster::Create();
    ExpectRaises([&] { intruder->Accept(owner->SocketHandle()); }, 40006,
                 CSocketMaster::WrongStateText, "CSocketMaster.Accept");
    EXPECT_EQ(intruder->SocketHandle(), -1);
    intruder->CloseSck();
    intruder.reset();
    owner->SendData(Variant("still mine"));
    EXPECT_EQ(client.ReadExactly(10), "still mine");
    owner->CloseSck();
}

TEST_F(AcceptTest, ListenIsRefusedUnlessClosedOrOpen) {
    ExpectRaises([&] { listener->Listen(); }, 40020, CSocketMaster::InvalidOperationText,
                 "CSocketMaster.Listen");
    RawSocket peer;
    auto client = ConnectedClient(peer);
    ExpectRaises([&] { client->Listen(); }, 40020, CSocketMaster::InvalidOperationText,
                 "CSocketMaster.Listen");
    client->CloseSck();
}

TEST_F(AcceptTest, BacklogIsFiveUnlessSetBeforeListen) {
    const auto fresh = CSocketMaster::Create();
    EXPECT_EQ(fresh->Backlog(), 5);
    ExpectRaises([&] { fresh->Backlog(0); }, 40014, CSocketMaster::OutOfRangeText,
                 "CSocketMaster.Backlog");
    fresh->Backlog(ws::MAX_BACKLOG);
    EXPECT_EQ(fresh->Backlog(), ws::MAX_BACKLOG);
    ExpectRaises([&] { listener->Backlog(64); }, 40020, CSocketMaster::InvalidOperationText,
                 "CSocketMaster.Backlog");
}

TEST_F(AcceptTest, ListenOnUdpObjectRaisesTheServicesError) {
    auto udp = CSocketMaster::Create();
    udp->Protocol(sckUDP);
    ExpectRaises([&] { udp->Listen(); }, 10045, "Operation not supported.", "CSocketMaster.Listen");
    EXPECT_EQ(udp->State(), sckClosed);
    udp->CloseSck();
}

} // namespace
