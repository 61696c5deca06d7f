// The send path: byte images on the wire, send events, a full service buffer
// resumed by the next write notification, refused states and kinds, UDP.
#include "SocketTestSupport.h"

#include <csignal>
#include <gtest/gtest.h>

namespace {

class SendTest : public SocketTest {};

QByteArray Pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

TEST_F(SendTest, ValuesLeaveAsTheirByteImages) {
    RawSocket peer;
    auto client = ConnectedClient(peer);
    EventLog log(*client);
    client->SendData(Variant(1));
    client->SendData(Variant(true));
    client->SendData(Variant::Byte(65));
    client->SendData(Variant("Hi"));
    client->SendData(Variant::ByteArray(QByteArray("\0\xff", 2)));
    EXPECT_EQ(peer.ReadExactly(11).toHex(' '), "01 00 00 00 ff ff 41 48 69 00 ff");
    EXPECT_EQ(log.lines, (QList<QByteArray>{"SendProgress 4 0", "SendComplete", "SendProgress 2 0",
                                            "SendComplete", "SendProgress 1 0", "SendComplete",
                                            "SendProgress 2 0", "SendComplete", "SendProgress 2 0",
                                            "SendComplete"}));
    client->CloseSck();
}

TEST_F(SendTest, EmptyTextSendsNothingAndRaisesNothing) {
    RawSocket peer;
    auto client = ConnectedClient(peer);
    EventLog log(*client);
    client->SendData(Variant(""));
    client->SendData(Variant::ByteArray({}));
    EXPECT_TRUE(log.lines.isEmpty());
    client->CloseSck();
}

TEST_F(SendTest, UnsupportedKindsAreRefused) {
    RawSocket peer;
    auto client = ConnectedClient(peer);
    for (const Variant& value :
         {Variant(), Variant::Null(), Variant::Nothing(), Variant::Decimal(1), Variant::Error(1)})
        ExpectRaises([&] { client->SendData(value); }, 40018, CSocketMaster::UnsupportedTypeText,
                     "CSocketMaster.SendData");
    client->CloseSck();
}

TEST_F(SendTest, TcpObjectMustBeConnected) {
    auto closed = CSocketMaster::Create();
    ExpectRaises([&] { closed->SendData(Variant("x")); }, 40006, CSocketMaster::WrongStateText,
                 "CSocketMaster.SendData");
    RawSocket peer;
    auto client = ConnectedClient(peer);
    peer.Close();
    ASSERT_TRUE(WaitFor([&] { return client->State() == sckClosing; }));
    ExpectRaises([&] { client->SendData(Variant("x")); }, 40006, CSocketMaster::WrongStateText,
                 "CSocketMaster.SendData");
    client->CloseSck();
}

TEST_F(SendTest, LargeTextLeavesInPiecesWithOneProgressAndCompletion) {
    RawSocket client;
    auto server = AcceptedServer(
        client,
        [](ws::SOCKET request) {
            const std::int32_t size = 65536;
            ws::setsockopt(request, ws::SOL_SOCKET, ws::SO_SNDBUF,
                           reinterpret_cast<const char*>(&size), sizeof size);
        },
        1 << 20);
    EventLog log(*server);
    const QByteArray data = Pattern(100000);
    server->SendData(Variant(data));
    EXPECT_EQ(log.lines, (QList<QByteArray>{"SendProgress 100000 0", "SendComplete"}));
    EXPECT_EQ(client.ReadExactly(100000), data);
    server->CloseSck();
}

TEST_F(SendTest, FullServiceBufferIsResumedByTheNextWriteNotification) {
    RawSocket client;
    auto server = AcceptedServer(
        client,
        [](ws::SOCKET request) {
            const std::int32_t size = 4096;
            ws::setsockopt(request, ws::SOL_SOCKET, ws::SO_SNDBUF,
                           reinterpret_cast<const char*>(&size), sizeof size);
        },
        4096);
    EventLog log(*server);
    const QByteArray data = Pattern(20000);
    server->SendData(Variant(data.left(15000)));
    ASSERT_EQ(log.lines.size(), 1);
    const QList<QByteArray> first = log.lines[0].split(' ');
    ASSERT_EQ(first[0], "SendProgress");
    const int sentFirst = first[1].toInt();
    EXPECT_GT(sentFirst, 0);
    EXPECT_EQ(first[2].toInt(), 15000 - sentFirst);
    // Bytes added while the rest waits only join the queue.
    server->SendData(Variant(data.mid(15000)));
    EXPECT_EQ(log.lines.size(), 1);

    EXPECT_EQ(client.ReadExactly(20000), data);
    ASSERT_TRUE(WaitFor([&] { return log.Last() == "SendComplete"; }));
    int total = 0;
    for (const QByteArray& line : std::as_const(log.lines))
        if (line.startsWith("SendProgress "))
            total += line.split(' ')[1].toInt();
    EXPECT_EQ(total, 20000);
    EXPECT_EQ(log.Count("SendComplete"), 1);
    EXPECT_TRUE(log.lines[log.lines.size() - 2].endsWith(" 0"));
    server->CloseSck();
}

TEST_F(SendTest, HandlerMaySendAgainFromSendProgress) {
    RawSocket peer;
    auto client = ConnectedClient(peer);
    EventLog log(*client);
    const auto record = client->onSendProgress;
    bool again = true;
    client->onSendProgress = [&](std::int32_t sent, std::int32_t remaining) {
        record(sent, remaining);
        if (std::exchange(again, false))
            client->SendData(Variant("more"));
    };
    client->SendData(Variant("first"));
    EXPECT_EQ(peer.ReadExactly(9), "firstmore");
    EXPECT_EQ(log.lines, (QList<QByteArray>{"SendProgress 5 0", "SendProgress 4 0", "SendComplete",
                                            "SendComplete"}));
    client->onSendProgress = nullptr;
    client->CloseSck();
}

TEST_F(SendTest, SendingToAResetPeerIsReportedAndNeverSignals) {
    const auto previous = std::signal(SIGPIPE, SIG_DFL); // a SIGPIPE would end the test run
    RawSocket peer;
    auto client = ConnectedClient(peer);
    EventLog log(*client);
    peer.Reset();
    // No event is delivered in between: the send meets the reset itself.
    client->SendData(Variant(QByteArray(1 << 20, 'x')));
    EXPECT_EQ(log.lines,
              (QList<QByteArray>{
                  "Error 10054 Connection reset by peer. CSocketMaster.SendBufferedData"}));
    EXPECT_EQ(client->State(), sckError);
    RunEventsFor(20);
    client->CloseSck();
    std::signal(SIGPIPE, previous);
}

TEST_F(SendTest, UdpDatagramGoesToRemoteHostAndPort) {
    RawSocket peer = RawSocket::Udp();
    auto socket = CSocketMaster::Create();
    EventLog log(*socket);
    socket->Protocol(sckUDP);
    socket->RemoteHost("127.0.0.1");
    socket->RemotePort(peer.Port());
    socket->SendData(Variant("hello"));
    EXPECT_EQ(socket->State(), sckOpen);
    int from = 0;
    EXPECT_EQ(peer.ReceiveDatagram(5000, &from), "hello");
    EXPECT_EQ(from, socket->LocalPort());
    EXPECT_TRUE(log.lines.isEmpty());
    socket->CloseSck();
}

TEST_F(SendTest, UdpSendWithoutRemoteHostRaises10047) {
    auto socket = CSocketMaster::Create();
    socket->Protocol(sckUDP);
    ExpectRaises([&] { socket->SendData(Variant("lost")); }, 10047,
                 "Address family not supported by protocol family.",
                 "CSocketMaster.SendBufferedDataUDP");
    EXPECT_EQ(socket->State(), sckOpen);
    socket->RemoteHost("nosuch.test");
    ExpectRaises([&] { socket->SendData(Variant("lost")); }, 40014,
                 CSocketMaster::InvalidArgumentText, "CSocketMaster.SendBufferedDataUDP");
    socket->CloseSck();
}

} // namespace
