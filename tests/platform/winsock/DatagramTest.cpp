// Datagrams: senders' addresses, the next datagram's size, truncation,
// empty datagrams, connected datagram sockets and port-unreachable errors.
#include "ServiceTestSupport.h"

namespace {

using test::Note;
using test::Recorder;

class DatagramTest : public test::ServiceTest {
protected:
    Recorder rec;
    ws::SOCKET a = 0; // bound, registered with rec
    ws::SOCKET b = 0; // bound, not registered
    std::uint16_t portA = 0;

    void SetUp() override {
        ServiceTest::SetUp();
        a = Bound();
        b = Bound();
        portA = test::LocalPort(a);
        ASSERT_EQ(ws::WSAAsyncSelect(a, rec.hwnd, test::SocketMsg, 0x3B), 0);
        ASSERT_TRUE(rec.WaitFor(1)); // a datagram socket can always send
        rec.notes.clear();
    }

    ws::SOCKET Bound() {
        const ws::SOCKET s = NewSocket(ws::SOCK_DGRAM);
        const ws::sockaddr_in any = test::Loopback(0);
        EXPECT_EQ(ws::bind(s, &any, sizeof any), 0);
        return s;
    }

    void SendToA(const QByteArray& data) {
        const ws::sockaddr_in to = test::Loopback(portA);
        ASSERT_EQ(ws::sendto(b, data.constData(), static_cast<int>(data.size()), 0, &to, sizeof to),
                  data.size());
    }

    std::uint32_t Pending() {
        std::uint32_t n = 0;
        EXPECT_EQ(ws::ioctlsocket(a, ws::FIONREAD, &n), 0);
        return n;
    }
};

TEST_F(DatagramTest, ReceiveReportsTheSenderAndOneDatagramAtATime) {
    SendToA("0123456789");
    SendToA(QByteArray(20, 'z'));
    ASSERT_TRUE(rec.WaitFor(1));
    EXPECT_EQ(Pending(), 10u); // the next datagram, not everything queued
    char buf[64];
    ws::sockaddr_in from;
    int fromlen = sizeof from;
    EXPECT_EQ(ws::recvfrom(a, buf, sizeof buf, 0, &from, &fromlen), 10);
    EXPECT_EQ(QByteArray(buf, 10), QByteArray("0123456789"));
    EXPECT_EQ(fromlen, 16);
    EXPECT_EQ(ws::ntohs(from.sin_port), test::LocalPort(b));
    EXPECT_STREQ(ws::inet_ntoa(from.sin_addr), "127.0.0.1");
    ASSERT_TRUE(rec.WaitFor(2)); // another datagram waits
    EXPECT_EQ(Pending(), 20u);
    EXPECT_EQ(ws::recvfrom(a, buf, sizeof buf, 0, &from, &fromlen), 20);
    test::Pump(50);
    EXPECT_EQ(rec.notes, (std::vector<Note>{rec.Net(a, ws::FD_READ), rec.Net(a, ws::FD_READ)}));
}

TEST_F(DatagramTest, ShortBufferGetsTheStartAndMessageTooLong) {
    SendToA(QByteArray("abcdefghij") + QByteArray(90, '-'));
    ASSERT_TRUE(rec.WaitFor(1));
    char buf[10] = {};
    ws::sockaddr_in from;
    int fromlen = sizeof from;
    EXPECT_EQ(ws::recvfrom(a, buf, sizeof buf, 0, &from, &fromlen), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEMSGSIZE);
    EXPECT_EQ(QByteArray(buf, 10), QByteArray("abcdefghij"));
    EXPECT_EQ(ws::ntohs(from.sin_port), test::LocalPort(b));
    EXPECT_EQ(Pending(), 0u); // the rest of the datagram is gone
}

TEST_F(DatagramTest, PeekLeavesTheDatagramAndPostsReadAgain) {
    SendToA("peek");
    ASSERT_TRUE(rec.WaitFor(1));
    char buf[8];
    EXPECT_EQ(ws::recv(a, buf, sizeof buf, ws::MSG_PEEK), 4);
    ASSERT_TRUE(rec.WaitFor(2));
    EXPECT_EQ(ws::recv(a, buf, sizeof buf, 0), 4);
    test::Pump(50);
    EXPECT_EQ(rec.notes.size(), 2u);
}

TEST_F(DatagramTest, EmptyDatagramIsDataNotAClose) {
    SendToA(QByteArray());
    ASSERT_TRUE(rec.WaitFor(1));
    EXPECT_EQ(Pending(), 0u);
    char byte;
    EXPECT_EQ(ws::recv(a, &byte, 1, 0), 0);
    EXPECT_EQ(ws::recv(a, &byte, 1, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEWOULDBLOCK);
    test::Pump(50);
    EXPECT_EQ(rec.notes, (std::vector<Note>{rec.Net(a, ws::FD_READ)}));
}

TEST_F(DatagramTest, ConnectedDatagramSocketReportsConnectAndPortUnreachable) {
    std::uint16_t closedPort = 0;
    {
        const ws::SOCKET gone = NewSocket(ws::SOCK_DGRAM);
        const ws::sockaddr_in any = test::Loopback(0);
        ws::bind(gone, &any, sizeof any);
        closedPort = test::LocalPort(gone);
        ws::closesocket(gone);
    }
    const ws::sockaddr_in to = test::Loopback(closedPort);
    EXPECT_EQ(ws::connect(a, &to, sizeof to), 0);
    ASSERT_TRUE(rec.WaitFor(2));
    EXPECT_EQ(rec.notes, (std::vector<Note>{rec.Net(a, ws::FD_CONNECT), rec.Net(a, ws::FD_WRITE)}));
    ASSERT_EQ(ws::send(a, "ping", 4, 0), 4);
    // The ICMP answer shows as a read whose receive fails with a reset; the
    // error pending meanwhile keeps nothing busy.
    ASSERT_TRUE(rec.WaitFor(3));
    EXPECT_EQ(rec.notes[2], rec.Net(a, ws::FD_READ));
    EXPECT_LT(test::WakeupsOver(200), 50);
    char buf[8];
    EXPECT_EQ(ws::recv(a, buf, sizeof buf, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAECONNRESET);
}

TEST_F(DatagramTest, UnboundDatagramSocketCannotReceiveButSendtoBindsIt) {
    const ws::SOCKET fresh = NewSocket(ws::SOCK_DGRAM);
    char byte;
    EXPECT_EQ(ws::recv(fresh, &byte, 1, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEINVAL);
    ws::sockaddr_in name;
    int len = sizeof name;
    EXPECT_EQ(ws::getsockname(fresh, &name, &len), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEINVAL);
    const ws::sockaddr_in to = test::Loopback(portA);
    EXPECT_EQ(ws::sendto(fresh, "x", 1, 0, &to, sizeof to), 1);
    EXPECT_NE(test::LocalPort(fresh), 0);
    EXPECT_EQ(ws::sendto(fresh, "x", 1, 0, &to, 4), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEFAULT);
}

TEST_F(DatagramTest, OptionsReadBackAsSetAndDatagramSizeLimit) {
    int value = 0;
    int len = sizeof value;
    char* out = reinterpret_cast<char*>(&value);
    EXPECT_EQ(ws::getsockopt(a, ws::SOL_SOCKET, ws::SO_MAX_MSG_SIZE, out, &len), 0);
    EXPECT_EQ(value, 65507);
    const ws::SOCKET tcp = NewSocket();
    EXPECT_EQ(ws::getsockopt(tcp, ws::SOL_SOCKET, ws::SO_MAX_MSG_SIZE, out, &len),
              ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAENOPROTOOPT);
    // Linux doubles what it is given; the service answers what it was given.
    const int size = 10000;
    const char* in = reinterpret_cast<const char*>(&size);
    for (int option : {ws::SO_SNDBUF, ws::SO_RCVBUF}) {
        ASSERT_EQ(ws::setsockopt(tcp, ws::SOL_SOCKET, option, in, sizeof size), 0);
        EXPECT_EQ(ws::getsockopt(tcp, ws::SOL_SOCKET, option, out, &len), 0);
        EXPECT_EQ(value, size);
        EXPECT_EQ(len, 4);
    }
    const int on = 1;
    ASSERT_EQ(ws::setsockopt(a, ws::SOL_SOCKET, ws::SO_BROADCAST,
                             reinterpret_cast<const char*>(&on), sizeof on),
              0);
    EXPECT_EQ(ws::getsockopt(a, ws::SOL_SOCKET, ws::SO_BROADCAST, out, &len), 0);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(ws::getsockopt(a, ws::SOL_SOCKET, 0x7777, out, &len), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAENOPROTOOPT);
    len = 2;
    EXPECT_EQ(ws::getsockopt(a, ws::SOL_SOCKET, ws::SO_RCVBUF, out, &len), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEFAULT);
}

} // namespace
