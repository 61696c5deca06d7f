// Sending: "would block" and the one write notification that follows it,
// broken connections without SIGPIPE, and sending after one's own shutdown.
#include "ServiceTestSupport.h"

namespace {

using test::Note;
using test::Recorder;

class SendTest : public test::ConnectedPairTest {
protected:
    void SetUp() override {
        ConnectedPairTest::SetUp();
        std::uint32_t nonBlocking = 1;
        ASSERT_EQ(ws::ioctlsocket(server, ws::FIONBIO, &nonBlocking), 0);
        // Small buffers: "would block" comes after a few kilobytes.
        const int small = 8192;
        const char* value = reinterpret_cast<const char*>(&small);
        ASSERT_EQ(ws::setsockopt(client, ws::SOL_SOCKET, ws::SO_SNDBUF, value, sizeof small), 0);
        ASSERT_EQ(ws::setsockopt(server, ws::SOL_SOCKET, ws::SO_RCVBUF, value, sizeof small), 0);
    }

    // Sends until the service answers "would block"; the bytes sent.
    int FillUp() {
        const QByteArray chunk(65536, 'f');
        int total = 0;
        for (int i = 0; i < 10000; ++i) {
            const int n = ws::send(client, chunk.constData(), 65536, 0);
            if (n == ws::SOCKET_ERROR) {
                EXPECT_EQ(test::LastError(), ws::WSAEWOULDBLOCK);
                return total;
            }
            total += n;
        }
        ADD_FAILURE() << "never blocked";
        return total;
    }

    // Reads at the server until nothing is left; the bytes read.
    int Drain() {
        QByteArray buf(65536, '\0');
        int total = 0;
        for (;;) {
            const int n = ws::recv(server, buf.data(), 65536, 0);
            if (n <= 0)
                return total;
            total += n;
        }
    }
};

TEST_F(SendTest, WouldBlockIsFollowedByOneWriteNotificationWhenSpaceFrees) {
    const int sent = FillUp();
    test::Pump(50);
    EXPECT_TRUE(rec.notes.empty());
    int read = 0;
    ASSERT_TRUE(test::PumpUntil([&] {
        read += Drain();
        return !rec.notes.empty();
    }));
    test::Pump(50);
    EXPECT_EQ(rec.notes, (std::vector<Note>{rec.Net(client, ws::FD_WRITE)}));
    // A send that does not block makes no further notification due.
    ASSERT_EQ(ws::send(client, "x", 1, 0), 1);
    ASSERT_TRUE(test::PumpUntil([&] {
        read += Drain();
        return read == sent + 1;
    }));
    test::Pump(50);
    EXPECT_EQ(rec.notes.size(), 1u);
}

TEST_F(SendTest, SendToResetPeerFailsWithResetAndNoSignal) {
    ASSERT_EQ(ws::closesocket(server), 0);
    ASSERT_TRUE(rec.WaitFor(1));
    EXPECT_EQ(rec.notes, (std::vector<Note>{rec.Net(client, ws::FD_CLOSE)}));
    int error = 0;
    // The first send may still leave; the peer's reset makes the next ones fail.
    ASSERT_TRUE(test::PumpUntil([&] {
        if (ws::send(client, "data", 4, 0) == ws::SOCKET_ERROR)
            error = test::LastError();
        return error != 0;
    }));
    EXPECT_EQ(error, ws::WSAECONNRESET);
}

TEST_F(SendTest, SendAfterOwnShutdownFailsAndPeersCloseStillArrives) {
    ASSERT_EQ(ws::shutdown(client, ws::SD_SEND), 0);
    EXPECT_EQ(ws::send(client, "late", 4, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAESHUTDOWN);
    char byte;
    ASSERT_TRUE(test::PumpUntil([&] { return ws::recv(server, &byte, 1, 0) == 0; }));
    ASSERT_EQ(ws::closesocket(server), 0);
    ASSERT_TRUE(rec.WaitFor(1));
    EXPECT_EQ(rec.notes, (std::vector<Note>{rec.Net(client, ws::FD_CLOSE)}));
}

TEST_F(SendTest, StreamThatIsNotConnectedCannotSendOrReceive) {
    const ws::SOCKET idle = NewSocket();
    EXPECT_EQ(ws::send(idle, "x", 1, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAENOTCONN);
    std::uint32_t nonBlocking = 1;
    ASSERT_EQ(ws::ioctlsocket(idle, ws::FIONBIO, &nonBlocking), 0);
    char byte;
    EXPECT_EQ(ws::recv(idle, &byte, 1, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAENOTCONN);
    EXPECT_EQ(ws::shutdown(idle, ws::SD_SEND), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAENOTCONN);
    EXPECT_EQ(ws::send(client, "x", 1, 4), ws::SOCKET_ERROR);
    EXPECT_EQ(test::LastError(), ws::WSAEOPNOTSUPP);
}

} // namespace
