// Reading and closing: the read notification's level rule, the graceful close
// held back until everything is read, the abortive close at once, and no
// busy event loop while a condition persists.
#include "ServiceTestSupport.h"

namespace {

using test::Note;
using test::Recorder;

class ReadCloseTest : public test::ConnectedPairTest {
protected:
    void SendFromServer(int size) {
        const QByteArray data(size, 'x');
        ASSERT_EQ(ws::send(server, data.constData(), size, 0), size);
    }

    int Recv(int size, int flags = 0) {
        QByteArray buf(size, '\0');
        return ws::recv(client, buf.data(), size, flags);
    }
};

TEST_F(ReadCloseTest, ReadIsPostedAgainOnlyAfterARecvThatLeavesData) {
    SendFromServer(100);
    ASSERT_TRUE(rec.WaitFor(1));
    test::Pump(50);
    EXPECT_EQ(rec.notes.size(), 1u); // no recv: no second notification
    EXPECT_EQ(Recv(40), 40);
    ASSERT_TRUE(rec.WaitFor(2));
    EXPECT_EQ(Recv(60), 60);
    test::Pump(50);
    EXPECT_EQ(Recv(10), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEWOULDBLOCK);
    test::Pump(50);
    EXPECT_EQ(rec.notes,
              (std::vector<Note>{rec.Net(client, ws::FD_READ), rec.Net(client, ws::FD_READ)}));
    SendFromServer(5); // re-enabled: new data posts again
    ASSERT_TRUE(rec.WaitFor(3));
    EXPECT_EQ(rec.notes[2], rec.Net(client, ws::FD_READ));
    EXPECT_EQ(Recv(4), 4); // a single byte left still counts
    ASSERT_TRUE(rec.WaitFor(4));
    EXPECT_EQ(Recv(1), 1);
    test::Pump(50);
    EXPECT_EQ(rec.notes.size(), 4u);
}

TEST_F(ReadCloseTest, PeekReEnablesReadAndTheDataStays) {
    SendFromServer(10);
    ASSERT_TRUE(rec.WaitFor(1));
    EXPECT_EQ(Recv(10, ws::MSG_PEEK), 10);
    ASSERT_TRUE(rec.WaitFor(2));
    EXPECT_EQ(Recv(10), 10);
    test::Pump(50);
    EXPECT_EQ(rec.notes,
              (std::vector<Note>{rec.Net(client, ws::FD_READ), rec.Net(client, ws::FD_READ)}));
}

TEST_F(ReadCloseTest, GracefulCloseWaitsUntilAllDataIsReadAndComesOnce) {
    SendFromServer(50);
    ASSERT_EQ(ws::closesocket(server), 0);
    ASSERT_TRUE(rec.WaitFor(1));
    test::Pump(50);
    EXPECT_EQ(rec.notes, (std::vector<Note>{rec.Net(client, ws::FD_READ)}));
    EXPECT_EQ(Recv(20), 20);
    EXPECT_EQ(Recv(30), 30);
    ASSERT_TRUE(rec.WaitFor(3));
    test::Pump(50);
    EXPECT_EQ(Recv(10), 0);
    test::Pump(20);
    EXPECT_EQ(rec.notes,
              (std::vector<Note>{rec.Net(client, ws::FD_READ), rec.Net(client, ws::FD_READ),
                                 rec.Net(client, ws::FD_CLOSE)}));
}

TEST_F(ReadCloseTest, ResetIsReportedAtOnceDespiteUnreadData) {
    SendFromServer(10);
    ASSERT_TRUE(rec.WaitFor(1));
    ASSERT_EQ(ws::send(client, "unread", 6, 0), 6);
    test::Pump(20);
    ASSERT_EQ(ws::closesocket(server), 0); // unread data: the close is a reset
    ASSERT_TRUE(rec.WaitFor(2));
    test::Pump(50);
    EXPECT_EQ(rec.notes, (std::vector<Note>{rec.Net(client, ws::FD_READ),
                                            rec.Net(client, ws::FD_CLOSE, ws::WSAECONNRESET)}));
    // What arrived before the reset can still be read; then the reset, once.
    EXPECT_EQ(Recv(100), 10);
    EXPECT_EQ(Recv(100), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAECONNRESET);
    EXPECT_EQ(Recv(100), 0);
}

TEST_F(ReadCloseTest, ReRegistrationPostsCloseAgainForAClosedConnection) {
    ASSERT_EQ(ws::closesocket(server), 0);
    ASSERT_TRUE(rec.WaitFor(1));
    ASSERT_EQ(ws::WSAAsyncSelect(client, rec.hwnd, test::SocketMsg, ws::FD_READ | ws::FD_CLOSE), 0);
    ASSERT_TRUE(rec.WaitFor(2));
    EXPECT_EQ(rec.notes,
              (std::vector<Note>{rec.Net(client, ws::FD_CLOSE), rec.Net(client, ws::FD_CLOSE)}));
}

TEST_F(ReadCloseTest, PersistentConditionsDoNotKeepTheLoopBusy) {
    // Unread data with its notification outstanding.
    SendFromServer(10);
    ASSERT_TRUE(rec.WaitFor(1));
    EXPECT_LT(test::WakeupsOver(200), 50);
    // End of stream, read and reported.
    ASSERT_EQ(ws::closesocket(server), 0);
    EXPECT_EQ(Recv(10), 10);
    ASSERT_TRUE(rec.WaitFor(2));
    EXPECT_LT(test::WakeupsOver(200), 50);
    EXPECT_EQ(rec.notes.size(), 2u);
}

TEST_F(ReadCloseTest, CancelledRegistrationPostsNothingNew) {
    ASSERT_EQ(ws::WSAAsyncSelect(client, rec.hwnd, test::SocketMsg, 0), 0);
    std::uint32_t blocking = 0;
    EXPECT_EQ(ws::ioctlsocket(client, ws::FIONBIO, &blocking), 0);
    SendFromServer(10);
    ASSERT_EQ(ws::closesocket(server), 0);
    test::Pump(50);
    EXPECT_TRUE(rec.notes.empty());
}

TEST_F(ReadCloseTest, NonBlockingModeCannotBeLeftWhileRegistered) {
    std::uint32_t blocking = 0;
    EXPECT_EQ(ws::ioctlsocket(client, ws::FIONBIO, &blocking), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEINVAL);
}

TEST_F(ReadCloseTest, QueuedNotificationOfClosedHandleNeverReachesANewSocket) {
    // Registering again posts connect and write for the connected socket at once.
    ASSERT_EQ(ws::WSAAsyncSelect(client, rec.hwnd, test::SocketMsg, 0x3B), 0);
    ASSERT_EQ(ws::closesocket(client), 0);
    const ws::SOCKET next = NewSocket();
    EXPECT_GT(next, client); // handles are never reused
    ASSERT_EQ(ws::WSAAsyncSelect(next, rec.hwnd, test::SocketMsg, 0x3B), 0);
    ASSERT_TRUE(rec.WaitFor(2));
    test::Pump(50);
    // Still delivered, as the service does, but naming the closed handle.
    EXPECT_EQ(rec.notes,
              (std::vector<Note>{rec.Net(client, ws::FD_CONNECT), rec.Net(client, ws::FD_WRITE)}));
    char byte;
    EXPECT_EQ(ws::recv(client, &byte, 1, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAENOTSOCK);
}

} // namespace
