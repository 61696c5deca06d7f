// Two socket objects talking to each other, and handlers that release the
// object or run nested event loops while it is raising their event.
#include "SocketTestSupport.h"
#include "socket/modSocketMaster.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

namespace {

class StreamTest : public SocketTest {
protected:
    // A listening object whose first request is taken by `server`.
    std::shared_ptr<CSocketMaster> ListenFor(std::shared_ptr<CSocketMaster>& server) {
        auto listener = CSocketMaster::Create();
        listener->onConnectionRequest = [&server](std::int32_t requestID) {
            server->Accept(requestID);
        };
        listener->Listen();
        return listener;
    }
};

QByteArray Stream(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    std::uint32_t x = 2463534242u;
    for (qsizetype i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<char>(x);
    }
    return bytes;
}

TEST_F(StreamTest, FiftyMegabytesArriveByteExact) {
    auto server = CSocketMaster::Create();
    auto listener = ListenFor(server);
    QByteArray received;
    server->onDataArrival = [&](std::int32_t) {
        QByteArray piece;
        server->GetData(piece);
        received.append(piece);
    };
    auto client = CSocketMaster::Create();
    bool complete = false;
    client->onSendComplete = [&] { complete = true; };
    const QByteArray data = Stream(50 << 20);
    client->onConnect = [&] { client->SendData(Variant(data)); };
    client->Connect("127.0.0.1", listener->LocalPort());
    ASSERT_TRUE(WaitFor([&] { return received.size() >= data.size(); }, 120000));
    EXPECT_TRUE(complete);
    EXPECT_EQ(received.size(), data.size());
    EXPECT_EQ(QCryptographicHash::hash(received, QCryptographicHash::Sha1),
              QCryptographicHash::hash(data, QCryptographicHash::Sha1));
    client->CloseSck();
    ASSERT_TRUE(WaitFor([&] { return server->State() == sckClosing; }));
    server->CloseSck();
}

TEST_F(StreamTest, HandlersMayReleaseTheObjectInsideItsEvents) {
    RawSocket listenerSocket = RawSocket::Listener();
    // Connect: the owner lets go while the object raises the event.
    auto client = CSocketMaster::Create();
    client->onConnect = [&] { client.reset(); };
    client->Connect("127.0.0.1", listenerSocket.Port());
    ASSERT_TRUE(WaitFor([&] { return client == nullptr; }));
    RunEventsFor(20);
    EXPECT_EQ(modSocketMaster::liveObjects(), 0);
    RawSocket first = listenerSocket.Accept();
    EXPECT_TRUE(first.PeerClosed());
}

TEST_F(StreamTest, ReleaseInsideNestedArrivalEndsTheObjectAfterBothHandlersReturn) {
    RawSocket listenerSocket = RawSocket::Listener();
    RawSocket peer;
    auto reader = CSocketMaster::Create();
    int arrivals = 0;
    reader->onDataArrival = [&](std::int32_t) {
        if (++arrivals == 1) {
            QByteArray first;
            reader->GetData(first); // taken, so the next bytes make a new arrival
            peer.SendAll("two");
            WaitFor([&] { return reader == nullptr; });
            EXPECT_EQ(reader, nullptr);
        } else {
            reader.reset();
        }
    };
    reader->Connect("127.0.0.1", listenerSocket.Port());
    peer = listenerSocket.Accept();
    ASSERT_TRUE(WaitFor([&] { return reader && reader->State() == sckConnected; }));
    peer.SendAll("one");
    ASSERT_TRUE(WaitFor([&] { return reader == nullptr; }));
    RunEventsFor(20);
    EXPECT_EQ(arrivals, 2);
    EXPECT_EQ(modSocketMaster::liveObjects(), 0);
    EXPECT_TRUE(peer.PeerClosed());
}

TEST_F(StreamTest, CloseAndErrorHandlersMayReleaseTheObject) {
    RawSocket peer;
    auto closing = ConnectedClient(peer);
    closing->onCloseSck = [&] { closing.reset(); };
    peer.Close();
    ASSERT_TRUE(WaitFor([&] { return closing == nullptr; }));

    RawSocket probe = RawSocket::Listener();
    const int unused = probe.Port();
    probe.Close();
    auto refused = CSocketMaster::Create();
    refused->onError = [&](std::int16_t, QByteArray&, std::int32_t, const QByteArray&,
                           const QByteArray&, std::int32_t, bool&) { refused.reset(); };
    refused->Connect("127.0.0.1", unused);
    ASSERT_TRUE(WaitFor([&] { return refused == nullptr; }));
    RunEventsFor(20);
    EXPECT_EQ(modSocketMaster::liveObjects(), 0);
}

} // namespace
