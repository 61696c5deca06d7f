// Listening and accepting: the accept notification's level rule, and accepted
// sockets that inherit the listener's registration until registered anew.
#include "ServiceTestSupport.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using test::Note;
using test::Recorder;

class AcceptTest : public test::ServiceTest {
protected:
    Recorder rec;   // the listener's window
    Recorder other; // the clients' window
    std::uint16_t port = 0;
    ws::SOCKET listener = 0;

    void SetUp() override {
        ServiceTest::SetUp();
        listener = Track(test::Listener(&port));
    }

    // A client whose connect has completed.
    ws::SOCKET ConnectedClient() {
        const ws::SOCKET c = NewSocket();
        EXPECT_EQ(ws::WSAAsyncSelect(c, other.hwnd, test::SocketMsg, ws::FD_CONNECT), 0);
        const ws::sockaddr_in to = test::Loopback(port);
        ws::connect(c, &to, sizeof to);
        const std::size_t before = other.notes.size();
        EXPECT_TRUE(other.WaitFor(before + 1));
        return c;
    }
};

TEST_F(AcceptTest, AcceptedSocketInheritsRegistrationUntilItsOwnerRegistersIt) {
    ASSERT_EQ(ws::WSAAsyncSelect(listener, rec.hwnd, test::SocketMsg, 0x3B), 0);
    const ws::SOCKET client = ConnectedClient();
    ASSERT_EQ(ws::send(client, "hello", 5, 0), 5);
    ASSERT_TRUE(rec.WaitFor(1));
    ws::sockaddr_in peer;
    int len = sizeof peer;
    const ws::SOCKET accepted = Track(ws::accept(listener, &peer, &len));
    EXPECT_EQ(ws::ntohs(peer.sin_port), test::LocalPort(client));
    ASSERT_TRUE(rec.WaitFor(3));
    test::Pump(50);
    // The new socket's first notifications reach the listener's window.
    EXPECT_EQ(rec.notes,
              (std::vector<Note>{rec.Net(listener, ws::FD_ACCEPT), rec.Net(accepted, ws::FD_WRITE),
                                 rec.Net(accepted, ws::FD_READ)}));
    // Registering it anew reports again whatever holds now.
    Recorder owner;
    ASSERT_EQ(ws::WSAAsyncSelect(accepted, owner.hwnd, test::SocketMsg, 0x3B), 0);
    ASSERT_TRUE(owner.WaitFor(3));
    test::Pump(50);
    EXPECT_EQ(owner.notes, (std::vector<Note>{owner.Net(accepted, ws::FD_CONNECT),
                                              owner.Net(accepted, ws::FD_WRITE),
                                              owner.Net(accepted, ws::FD_READ)}));
    EXPECT_EQ(rec.notes.size(), 3u);
}

TEST_F(AcceptTest, AcceptIsPostedAgainOnlyWhileMoreConnectionsWait) {
    ASSERT_EQ(ws::WSAAsyncSelect(listener, rec.hwnd, test::SocketMsg, ws::FD_ACCEPT), 0);
    ConnectedClient();
    ConnectedClient();
    ASSERT_TRUE(rec.WaitFor(1));
    test::Pump(50);
    EXPECT_EQ(rec.notes.size(), 1u); // no accept call: no second notification
    Track(ws::accept(listener, nullptr, nullptr));
    ASSERT_TRUE(rec.WaitFor(2));
    Track(ws::accept(listener, nullptr, nullptr));
    EXPECT_EQ(ws::accept(listener, nullptr, nullptr), ws::INVALID_SOCKET);
    EXPECT_EQ(test::LastError(), ws::WSAEWOULDBLOCK);
    test::Pump(50);
    EXPECT_EQ(rec.notes, (std::vector<Note>{rec.Net(listener, ws::FD_ACCEPT),
                                            rec.Net(listener, ws::FD_ACCEPT)}));
    ConnectedClient(); // re-enabled by the failed accept too
    ASSERT_TRUE(rec.WaitFor(3));
}

TEST_F(AcceptTest, RunningOutOfDescriptorsPausesAcceptInsteadOfRetryingAtOnce) {
    ASSERT_EQ(ws::WSAAsyncSelect(listener, rec.hwnd, test::SocketMsg, ws::FD_ACCEPT), 0);
    ConnectedClient();
    ASSERT_TRUE(rec.WaitFor(1));
    // Every descriptor below a lowered limit in use, as a busy server finds them.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int next = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(next, 0);
    rlimit low = saved;
    low.rlim_cur = rlim_t(next + 8);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> spent{next};
    for (int fd = next; fd >= 0; spent.push_back(fd))
        fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    spent.pop_back();
    int failures = 0;
    rec.onMessage = [&](const Note&) {
        if (ws::accept(listener, nullptr, nullptr) == ws::INVALID_SOCKET &&
            test::LastError() == ws::WSAEMFILE)
            ++failures;
    };
    rec.onMessage(rec.notes.back());
    test::Pump(400);
    for (const int fd : spent)
        ::close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);
    // Pauses of 50, 100 and 200 ms: a handful of tries, not thousands.
    EXPECT_GE(failures, 2);
    EXPECT_LE(failures, 5);
    rec.onMessage = nullptr;
    const std::size_t before = rec.notes.size();
    ASSERT_TRUE(rec.WaitFor(before + 1)); // offered again once the pause is over
    EXPECT_NE(Track(ws::accept(listener, nullptr, nullptr)), ws::INVALID_SOCKET);
}

TEST_F(AcceptTest, RegistrationReportsAConnectionAlreadyWaiting) {
    ConnectedClient();
    ASSERT_EQ(ws::WSAAsyncSelect(listener, rec.hwnd, test::SocketMsg, ws::FD_ACCEPT), 0);
    ASSERT_TRUE(rec.WaitFor(1));
    EXPECT_EQ(rec.notes, (std::vector<Note>{rec.Net(listener, ws::FD_ACCEPT)}));
}

TEST_F(AcceptTest, ListenAndAcceptRefuseWrongSockets) {
    const ws::SOCKET unbound = NewSocket();
    EXPECT_EQ(ws::listen(unbound, 5), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEINVAL);
    EXPECT_EQ(ws::accept(unbound, nullptr, nullptr), ws::INVALID_SOCKET);
    EXPECT_EQ(test::LastError(), ws::WSAEINVAL);
    const ws::SOCKET datagram = NewSocket(ws::SOCK_DGRAM);
    EXPECT_EQ(ws::listen(datagram, 5), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEOPNOTSUPP);
    std::uint32_t queued = 99;
    EXPECT_EQ(ws::ioctlsocket(listener, ws::FIONREAD, &queued), 0);
    EXPECT_EQ(queued, 0u);
    std::uint16_t otherPort = 0;
    const ws::SOCKET second = Track(test::Listener(&otherPort));
    const ws::sockaddr_in same = test::Loopback(port);
    const ws::SOCKET clash = NewSocket();
    EXPECT_EQ(ws::bind(clash, &same, sizeof same), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEADDRINUSE);
    EXPECT_NE(second, listener);
}

} // namespace
