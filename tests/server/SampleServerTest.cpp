// The sample server under load and abuse, over loopback: a crowd of clients
// that connect before it accepts, clients that never finish a request or
// never read, pipelined requests for a large file, and bodies never waited for.
#include "server/SampleServer.h"

#include "support/LoopbackClient.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

constexpr qint64 largeSize = 4 * 1024 * 1024;

class SampleServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("files")));
        QFile file(dir.filePath(QStringLiteral("files/large.zip")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        for (qint64 i = 0; i < largeSize / 4096; ++i)
            file.write(QByteArray(4096, char('a' + i % 26)));
        file.close();
        server = std::make_unique<SampleServer>(dir.path(), 0);
        server->Start();
        port = std::uint16_t(server->Port());
    }

    static QByteArray Get(const char* path, const QByteArray& extra = {}) {
        return "GET " + QByteArray(path) + " HTTP/1.1\r\nHost: 127.0.0.1" + extra + "\r\n\r\n";
    }

    QTemporaryDir dir;
    std::unique_ptr<SampleServer> server;
    std::uint16_t port = 0;
};

TEST_F(SampleServerTest, ACrowdConnectingBeforeTheFirstAcceptIsQueued) {
    // No events run here: every handshake must wait in the listen queue.
    std::vector<std::unique_ptr<LoopbackClient>> crowd;
    for (int i = 0; i < 64; ++i)
        crowd.push_back(std::make_unique<LoopbackClient>(port));
    int established = 0;
    for (const auto& client : crowd)
        established += client->Established(2000) ? 1 : 0;
    ASSERT_EQ(established, 64);
    for (const auto& client : crowd)
        ASSERT_TRUE(client->Send(Get("/files/large.zip", "\r\nRange: bytes=0-9")));
    for (const auto& client : crowd)
        EXPECT_TRUE(client->Response().startsWith("HTTP/1.1 206 "));
}

TEST_F(SampleServerTest, ConnectionsWithoutACompleteRequestAreClosedWhenIdle) {
    server->IdleTimeout(200);
    LoopbackClient silent(port);
    LoopbackClient slow(port);
    ASSERT_TRUE(slow.Send("GET /files/large.zip HTTP/1.1\r\n"));
    LoopbackClient served(port);
    ASSERT_TRUE(served.Send(Get("/files/none")));
    EXPECT_TRUE(served.Response().startsWith("HTTP/1.1 404 "));
    EXPECT_TRUE(silent.Closed());
    EXPECT_TRUE(slow.Closed());
    EXPECT_TRUE(served.Closed()); // kept alive, then idle like the others
    EXPECT_EQ(server->OpenConnections(), 0);
}

TEST_F(SampleServerTest, PipelinedRequestsOfAReaderThatStopsHoldOnePieceAtMost) {
    server->IdleTimeout(60000);
    LoopbackClient client(port);
    QByteArray requests;
    for (int i = 0; i < 20; ++i)
        requests += Get("/files/large.zip");
    ASSERT_TRUE(client.Send(requests));
    // Let the server fill the socket's buffers while nobody reads.
    QTest::qWait(300);
    EXPECT_LE(server->HeldBytes(), SampleServer::pieceSize + requests.size());
    // Then every reply arrives whole, in order.
    QFile file(dir.filePath(QStringLiteral("files/large.zip")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    for (int i = 0; i < 20; ++i) {
        const QByteArray response = client.Response();
        ASSERT_TRUE(response.startsWith("HTTP/1.1 200 ")) << i;
        ASSERT_TRUE(response.endsWith(content)) << i;
        ASSERT_LE(server->HeldBytes(), SampleServer::pieceSize + requests.size());
    }
}

// Parts longer than a piece leave in several, each part's text before its
// bytes, and the next reply starts right after the closing boundary.
TEST_F(SampleServerTest, SeveralRangesLeaveAsOneMultipartReply) {
    LoopbackClient client(port);
    ASSERT_TRUE(client.Send(Get("/files/large.zip", "\r\nRange: bytes=0-9,100000-700000,-5") +
                            Get("/files/large.zip", "\r\nRange: bytes=4096-4097")));
    const QByteArray multipart = client.Response();
    ASSERT_TRUE(multipart.startsWith("HTTP/1.1 206 ")) << multipart.left(200).constData();
    const qsizetype at = multipart.indexOf("boundary=") + 9;
    const QByteArray boundary = multipart.mid(at, multipart.indexOf("\r\n", at) - at);
    QFile file(dir.filePath(QStringLiteral("files/large.zip")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    const auto part = [&](qint64 first, qint64 last) {
        return "\r\n--" + boundary + "\r\nContent-Type: application/zip\r\nContent-Range: bytes " +
               QByteArray::number(first) + '-' + QByteArray::number(last) + "/4194304\r\n\r\n" +
               content.mid(first, last - first + 1);
    };
    EXPECT_TRUE(multipart.endsWith(part(0, 9) + part(100000, 700000) +
                                   part(largeSize - 5, largeSize - 1) + "\r\n--" + boundary +
                                   "--\r\n"));
    EXPECT_TRUE(client.Response().endsWith("\r\n\r\nbb"));
}

TEST_F(SampleServerTest, RequestsFarAheadOfTheRepliesEndTheConnection) {
    LoopbackClient client(port);
    QByteArray requests;
    while (requests.size() <= SampleServer::maxPending + 4096)
        requests += Get("/files/large.zip");
    ASSERT_TRUE(client.Send(requests));
    EXPECT_TRUE(client.Closed());
    EXPECT_EQ(server->HeldBytes(), 0);
}

TEST_F(SampleServerTest, ABodyIsRefusedAtOnceWithoutWaitingForIt) {
    LoopbackClient client(port);
    ASSERT_TRUE(
        client.Send("POST /files/large.zip HTTP/1.1\r\nContent-Length: 1000000000000\r\n\r\n" +
                    QByteArray(1000, 'x')));
    const QByteArray response = client.Response();
    EXPECT_TRUE(response.startsWith("HTTP/1.1 405 Method Not Allowed\r\n")) << response.constData();
    EXPECT_TRUE(response.contains("\r\nConnection: close\r\n"));
    EXPECT_TRUE(client.Closed());
    EXPECT_EQ(server->OpenConnections(), 0);
}

} // namespace
