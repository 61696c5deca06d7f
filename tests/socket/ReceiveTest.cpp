// The receive path: DataArrival totals, GetData / PeekData by kind and
// length, the states that allow them, and UDP datagrams with their senders.
#include "SocketTestSupport.h"
#include "socket/modSocketMaster.h"

#include <gtest/gtest.h>

namespace {

class ReceiveTest : public SocketTest {
protected:
    void SetUp() override {
        SocketTest::SetUp();
        client = ConnectedClient(peer);
        log = std::make_unique<EventLog>(*client);
    }
    void TearDown() override {
        log.reset();
        client.reset();
        SocketTest::TearDown();
    }
    // Sends from the peer and waits for the object to report `total` bytes.
    void Arrive(const QByteArray& bytes, int total) {
        peer.SendAll(bytes);
        ASSERT_TRUE(
            WaitFor([&] { return log->Last() == "DataArrival " + QByteArray::number(total); }));
    }

    RawSocket peer;
    std::shared_ptr<CSocketMaster> client;
    std::unique_ptr<EventLog> log;
};

TEST_F(ReceiveTest, UntakenBytesAreCountedAgainAtTheNextArrival) {
    Arrive(QByteArray(100, 'a'), 100);
    Arrive(QByteArray(50, 'b'), 150);
    EXPECT_EQ(log->lines, (QList<QByteArray>{"DataArrival 100", "DataArrival 150"}));
    EXPECT_EQ(client->BytesReceived(), 150);
}

TEST_F(ReceiveTest, GetDataTakesUpToMaxLen) {
    const QByteArray sent = QByteArray(60, 'x') + QByteArray(60, 'y');
    Arrive(sent, 120);
    Variant data;
    Variant varType = Variant::Missing();
    Variant maxLen(50);
    client->GetData(data, varType, maxLen);
    EXPECT_EQ(data, Variant::ByteArray(sent.left(50)));
    EXPECT_EQ(varType, Variant(vbByteArray));
    EXPECT_EQ(client->BytesReceived(), 70);
    Variant text("");
    maxLen = Variant(500);
    client->GetData(text, varType, maxLen);
    EXPECT_EQ(text, Variant(sent.mid(50)));
    EXPECT_EQ(client->BytesReceived(), 0);
}

TEST_F(ReceiveTest, GetDataAsTextTakesEverything) {
    Arrive(QByteArray(120, 'z'), 120);
    QByteArray text = "old";
    client->GetData(text);
    EXPECT_EQ(text, QByteArray(120, 'z'));
    EXPECT_EQ(client->BytesReceived(), 0);
    client->GetData(text);
    EXPECT_EQ(text, "");
}

TEST_F(ReceiveTest, FixedSizeKindWaitsForEnoughBytes) {
    Arrive(QByteArray::fromHex("010203"), 3);
    Variant number(7);
    client->GetData(number);
    EXPECT_EQ(number, Variant(7));
    EXPECT_EQ(client->BytesReceived(), 3);
    Arrive(QByteArray::fromHex("040506"), 6);
    client->GetData(number);
    EXPECT_EQ(number, Variant(0x04030201));
    EXPECT_EQ(client->BytesReceived(), 2);
    Variant byte;
    Variant kind(vbByte);
    client->GetData(byte, kind);
    EXPECT_EQ(byte, Variant::Byte(5));
}

TEST_F(ReceiveTest, MaxLenZeroNegativeAndNonNumeric) {
    Arrive("abcdef", 6);
    Variant data("keep");
    Variant varType = Variant::Missing();
    Variant maxLen(0);
    client->GetData(data, varType, maxLen);
    EXPECT_EQ(data, Variant(""));
    EXPECT_EQ(client->BytesReceived(), 6);
    maxLen = Variant(-1);
    ExpectRaises([&] { client->GetData(data, varType, maxLen); }, 40014,
                 CSocketMaster::OutOfRangeText, "CSocketMaster.GetData");
    maxLen = Variant("all");
    client->GetData(data, varType, maxLen);
    EXPECT_EQ(data, Variant("abcdef"));
    EXPECT_EQ(maxLen, Variant(6));
}

TEST_F(ReceiveTest, PeekLeavesTheBytesForGetData) {
    Arrive("peeked", 6);
    Variant peeked;
    client->PeekData(peeked);
    EXPECT_EQ(peeked, Variant::ByteArray("peeked"));
    EXPECT_EQ(client->BytesReceived(), 6);
    Variant taken;
    client->GetData(taken);
    EXPECT_EQ(taken, peeked);
    EXPECT_EQ(client->BytesReceived(), 0);
}

TEST_F(ReceiveTest, UnsupportedKindIsRefused) {
    Arrive("1234", 4);
    Variant data;
    Variant kind(vbObject);
    ExpectRaises([&] { client->GetData(data, kind); }, 40018, CSocketMaster::UnsupportedTypeText,
                 "CSocketMaster.RecvData");
}

TEST_F(ReceiveTest, AfterThePeerClosedBytesCanNoLongerBeTaken) {
    peer.SendAll("last words");
    peer.Close();
    ASSERT_TRUE(WaitFor([&] { return client->State() == sckClosing; }));
    EXPECT_EQ(log->lines, (QList<QByteArray>{"DataArrival 10", "CloseSck"}));
    EXPECT_EQ(client->BytesReceived(), 10);
    QByteArray text;
    ExpectRaises([&] { client->GetData(text); }, 40006, CSocketMaster::WrongStateText,
                 "CSocketMaster.GetData");
    ExpectRaises([&] { client->PeekData(text); }, 40006, CSocketMaster::WrongStateText,
                 "CSocketMaster.PeekData");
}

TEST_F(ReceiveTest, ReadNotificationWithNothingToReadChangesNothing) {
    win::PostMessage(modSocketMaster::messageWindow(), modSocketMaster::WM_SOCKET,
                     client->SocketHandle(), ws::FD_READ);
    RunEventsFor(20);
    EXPECT_EQ(client->State(), sckConnected);
    EXPECT_TRUE(log->lines.isEmpty());
    Arrive("still open", 10);
}

TEST_F(ReceiveTest, HandlerTakingDataAndClosingEndsQuietly) {
    QByteArray got;
    client->onDataArrival = [&](std::int32_t) {
        client->GetData(got);
        client->CloseSck();
    };
    peer.SendAll("bye");
    ASSERT_TRUE(WaitFor([&] { return client->State() == sckClosed; }));
    EXPECT_EQ(got, "bye");
    EXPECT_TRUE(peer.PeerClosed());
}

class DatagramTest : public SocketTest {
protected:
    void SetUp() override {
        SocketTest::SetUp();
        socket = CSocketMaster::Create();
        socket->Protocol(sckUDP);
        socket->Bind(0);
    }
    void TearDown() override {
        socket.reset();
        SocketTest::TearDown();
    }
    std::shared_ptr<CSocketMaster> socket;
    RawSocket peer = RawSocket::Udp();
};

TEST_F(DatagramTest, HandlerReadsDatagramAndItsSender) {
    QList<QByteArray> got;
    socket->onDataArrival = [&](std::int32_t total) {
        EXPECT_EQ(total, 3);
        Variant data;
        socket->GetData(data);
        got.append(data.Bytes());
    };
    socket->RemoteHost("elsewhere");
    peer.SendTo(socket->LocalPort(), "one");
    ASSERT_TRUE(WaitFor([&] { return !got.isEmpty(); }));
    EXPECT_EQ(got, QList<QByteArray>{"one"});
    EXPECT_EQ(socket->RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(socket->RemotePort(), peer.Port());
    EXPECT_EQ(socket->RemoteHost(), "");
}

TEST_F(DatagramTest, DatagramTheHandlerLeavesIsDiscarded) {
    QList<QByteArray> got;
    socket->onDataArrival = [&](std::int32_t total) {
        got.append("arrival " + QByteArray::number(total));
        if (got.size() > 1) {
            QByteArray text;
            socket->GetData(text);
            got.append(text);
        }
    };
    peer.SendTo(socket->LocalPort(), "first");
    ASSERT_TRUE(WaitFor([&] { return got.size() == 1; }));
    RunEventsFor(20);
    EXPECT_EQ(socket->BytesReceived(), 0);
    peer.SendTo(socket->LocalPort(), "second");
    ASSERT_TRUE(WaitFor([&] { return got.size() == 3; }));
    EXPECT_EQ(got, (QList<QByteArray>{"arrival 5", "arrival 6", "second"}));
}

TEST_F(DatagramTest, TakingOneDatagramDoesNotCostTheNext) {
    QList<QByteArray> got;
    socket->onDataArrival = [&](std::int32_t) {
        QByteArray text;
        socket->GetData(text);
        got.append(text);
    };
    peer.SendTo(socket->LocalPort(), "a1");
    peer.SendTo(socket->LocalPort(), "b22");
    ASSERT_TRUE(WaitFor([&] { return got.size() == 2; }));
    EXPECT_EQ(got, (QList<QByteArray>{"a1", "b22"}));
}

TEST_F(DatagramTest, NothingWaitingLeavesDataAndZeroMaxLenDropsOne) {
    Variant data("unchanged");
    socket->GetData(data);
    EXPECT_EQ(data, Variant("unchanged"));
    bool handled = false;
    socket->onDataArrival = [&](std::int32_t) {
        Variant varType = Variant::Missing();
        Variant maxLen(0);
        ExpectRaises([&] { socket->GetData(data, varType, maxLen); }, 10040, "Message too long.",
                     "CSocketMaster.RecvData");
        EXPECT_EQ(socket->BytesReceived(), 0);
        handled = true;
    };
    peer.SendTo(socket->LocalPort(), "dropped");
    ASSERT_TRUE(WaitFor([&] { return handled; }));
    EXPECT_EQ(data, Variant(""));
}

TEST_F(DatagramTest, ClosedUdpObjectRefusesGetData) {
    socket->CloseSck();
    Variant data;
    ExpectRaises([&] { socket->GetData(data); }, 40006, CSocketMaster::WrongStateText,
                 "CSocketMaster.GetData");
}

} // namespace
