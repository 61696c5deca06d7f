// Connecting: the connect notification once per attempt (success, refusal,
// no answer), the write notification after it, and retries on the same handle.
#include "ServiceTestSupport.h"

#include <QThread>

namespace {

using test::Loopback;
using test::Recorder;

class ConnectTest : public test::ServiceTest {
protected:
    // A loopback port where nobody listens.
    std::uint16_t ClosedPort() {
        std::uint16_t port = 0;
        ws::closesocket(test::Listener(&port));
        return port;
    }
};

TEST_F(ConnectTest, ConnectToListenerPostsConnectThenWrite) {
    Recorder rec;
    ws::SOCKET client = 0, server = 0;
    ConnectPair(rec, &client, &server);
    ASSERT_TRUE(rec.WaitFor(2));
    test::Pump(50);
    EXPECT_EQ(rec.notes, (std::vector<test::Note>{rec.Net(client, ws::FD_CONNECT),
                                                  rec.Net(client, ws::FD_WRITE)}));
    ws::sockaddr_in peer;
    int len = sizeof peer;
    ASSERT_EQ(ws::getpeername(client, &peer, &len), 0);
    EXPECT_STREQ(ws::inet_ntoa(peer.sin_addr), "127.0.0.1");
    const ws::sockaddr_in again = Loopback(ws::ntohs(peer.sin_port));
    EXPECT_EQ(ws::connect(client, &again, sizeof again), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEISCONN);
}

TEST_F(ConnectTest, DataAlreadyWaitingIsReportedAfterConnectAndWrite) {
    Recorder rec;
    std::uint16_t port = 0;
    const ws::SOCKET listener = Track(test::Listener(&port));
    const ws::SOCKET client = NewSocket();
    ASSERT_EQ(ws::WSAAsyncSelect(client, rec.hwnd, test::SocketMsg, 0x3B), 0);
    const ws::sockaddr_in to = Loopback(port);
    ws::connect(client, &to, sizeof to);
    // Accept and answer before the event loop has seen the connect complete.
    ws::SOCKET server = ws::INVALID_SOCKET;
    for (int i = 0; i < 1000 && server == ws::INVALID_SOCKET; ++i) {
        server = ws::accept(listener, nullptr, nullptr);
        if (server == ws::INVALID_SOCKET)
            QThread::msleep(1);
    }
    Track(server);
    ASSERT_EQ(ws::send(server, "hi", 2, 0), 2);
    ASSERT_TRUE(rec.WaitFor(3));
    EXPECT_EQ(rec.notes, (std::vector<test::Note>{rec.Net(client, ws::FD_CONNECT),
                                                  rec.Net(client, ws::FD_WRITE),
                                                  rec.Net(client, ws::FD_READ)}));
}

TEST_F(ConnectTest, RefusedConnectReportsErrorOnceAndRetryOnSameHandleWorks) {
    Recorder rec;
    const ws::SOCKET s = NewSocket();
    ASSERT_EQ(ws::WSAAsyncSelect(s, rec.hwnd, test::SocketMsg, 0x3B), 0);
    const ws::sockaddr_in closed = Loopback(ClosedPort());
    EXPECT_EQ(ws::connect(s, &closed, sizeof closed), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEWOULDBLOCK);
    ASSERT_TRUE(rec.WaitFor(1));
    test::Pump(100);
    // A refusal is a connect notification only: never a close.
    EXPECT_EQ(rec.notes,
              (std::vector<test::Note>{rec.Net(s, ws::FD_CONNECT, ws::WSAECONNREFUSED)}));
    EXPECT_LT(test::WakeupsOver(200), 50); // the failed socket stays quiet

    std::uint16_t port = 0;
    Track(test::Listener(&port));
    const ws::sockaddr_in open = Loopback(port);
    rec.notes.clear();
    EXPECT_EQ(ws::connect(s, &open, sizeof open), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEWOULDBLOCK);
    ASSERT_TRUE(rec.WaitFor(2));
    EXPECT_EQ(rec.notes,
              (std::vector<test::Note>{rec.Net(s, ws::FD_CONNECT), rec.Net(s, ws::FD_WRITE)}));
}

TEST_F(ConnectTest, RetryKeepsExplicitLocalAddress) {
    Recorder rec;
    const ws::SOCKET s = NewSocket();
    const ws::sockaddr_in local = Loopback(0);
    ASSERT_EQ(ws::bind(s, &local, sizeof local), 0);
    const std::uint16_t boundPort = test::LocalPort(s);
    ASSERT_EQ(ws::WSAAsyncSelect(s, rec.hwnd, test::SocketMsg, ws::FD_CONNECT), 0);
    const ws::sockaddr_in closed = Loopback(ClosedPort());
    ws::connect(s, &closed, sizeof closed);
    ASSERT_TRUE(rec.WaitFor(1));
    std::uint16_t port = 0;
    Track(test::Listener(&port));
    const ws::sockaddr_in open = Loopback(port);
    ws::connect(s, &open, sizeof open);
    ASSERT_TRUE(rec.WaitFor(2));
    EXPECT_EQ(rec.notes[1], rec.Net(s, ws::FD_CONNECT));
    EXPECT_EQ(test::LocalPort(s), boundPort);
}

TEST_F(ConnectTest, UnansweredConnectTimesOutAndRepeatedConnectIsAlreadyInProgress) {
    const int previous = ws::SetConnectTimeout(300);
    Recorder rec;
    std::uint16_t port = 0;
    Track(test::Listener(&port, 0)); // backlog 0: one connection fills it, the next SYN is dropped
    const ws::sockaddr_in to = Loopback(port);
    const ws::SOCKET first = NewSocket();
    const ws::SOCKET second = NewSocket();
    ASSERT_EQ(ws::WSAAsyncSelect(first, rec.hwnd, test::SocketMsg, ws::FD_CONNECT), 0);
    ASSERT_EQ(ws::WSAAsyncSelect(second, rec.hwnd, test::SocketMsg, ws::FD_CONNECT), 0);
    ws::connect(first, &to, sizeof to);
    ASSERT_TRUE(rec.WaitFor(1));
    EXPECT_EQ(ws::connect(second, &to, sizeof to), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEWOULDBLOCK);
    EXPECT_EQ(ws::connect(second, &to, sizeof to), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEALREADY);
    ASSERT_TRUE(rec.WaitFor(2));
    test::Pump(50);
    EXPECT_EQ(rec.notes,
              (std::vector<test::Note>{rec.Net(first, ws::FD_CONNECT),
                                       rec.Net(second, ws::FD_CONNECT, ws::WSAETIMEDOUT)}));
    ws::SetConnectTimeout(previous);
}

TEST_F(ConnectTest, BlockingConnectCompletesInTheCall) {
    std::uint16_t port = 0;
    Track(test::Listener(&port));
    const ws::SOCKET s = NewSocket();
    const ws::sockaddr_in to = Loopback(port);
    EXPECT_EQ(ws::connect(s, &to, sizeof to), 0);
    ws::sockaddr_in peer;
    int len = sizeof peer;
    ASSERT_EQ(ws::getpeername(s, &peer, &len), 0);
    EXPECT_EQ(ws::ntohs(peer.sin_port), port);
    const ws::sockaddr_in closed = Loopback(ClosedPort());
    const ws::SOCKET refused = NewSocket();
    EXPECT_EQ(ws::connect(refused, &closed, sizeof closed), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAECONNREFUSED);
}

TEST_F(ConnectTest, InvalidConnectArgumentsFailAtOnce) {
    const ws::SOCKET s = NewSocket();
    ws::sockaddr_in any = Loopback(80);
    any.sin_addr = 0;
    EXPECT_EQ(ws::connect(s, &any, sizeof any), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEADDRNOTAVAIL);
    const ws::sockaddr_in to = Loopback(80);
    EXPECT_EQ(ws::connect(s, &to, 8), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEFAULT);
    ws::sockaddr_in other = to;
    other.sin_family = 23;
    EXPECT_EQ(ws::connect(s, &other, sizeof other), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEAFNOSUPPORT);
    EXPECT_EQ(ws::connect(999999, &to, sizeof to), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAENOTSOCK);
}

} // namespace
