// The sample server's answers: files with their types, keep-alive, both
// request forms, not-found pages, and nothing from outside the root.
#include "server/FileResponder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class FileResponderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("root/files/koru")));
        write("root/files/koru/vanto_ver.txt", "VANTO 02.14 notes");
        write("root/files/vanto.zip", QByteArray("PK\x03\x04\x00\xff", 6));
        write("secret.txt", "outside");
        QFile::link(dir.filePath(QStringLiteral("secret.txt")),
                    dir.filePath(QStringLiteral("root/files/link.txt")));
    }

    void write(const char* name, const QByteArray& bytes) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray get(const QByteArray& target, const QByteArray& extra = {}) {
        return responder().Answer("GET " + target + " HTTP/1.1\r\nHost: x" + extra).bytes;
    }

    FileResponder responder() const { return FileResponder(dir.filePath(QStringLiteral("root"))); }

    QTemporaryDir dir;
};

TEST_F(FileResponderTest, ServesFilesInBothRequestFormsWithTypeAndLength) {
    const QByteArray expected = "HTTP/1.1 200 OK\r\nServer: koru-sample-server\r\n"
                                "Content-Type: text/plain\r\nContent-Length: 17\r\n"
                                "Connection: keep-alive\r\n\r\nVANTO 02.14 notes";
    EXPECT_EQ(get("/files/koru/vanto_ver.txt"), expected);
    EXPECT_EQ(get("http://127.0.0.1:8080/files/koru/vanto_ver.txt"), expected);
    const QByteArray zip = get("/files/vanto.zip");
    EXPECT_TRUE(zip.contains("Content-Type: application/zip\r\n"));
    EXPECT_TRUE(zip.endsWith(QByteArray("PK\x03\x04\x00\xff", 6)));
}

TEST_F(FileResponderTest, MissingFilesAndEscapesAreNotFound) {
    for (const QByteArray target :
         {"/files/none.txt", "/files/../../secret.txt", "/files/%2e%2e/%2E%2E/secret.txt",
          "/files/link.txt", "/files/koru", "files/vanto.zip", "/files/vanto.zip%00.txt"}) {
        const QByteArray reply = get(target);
        EXPECT_TRUE(reply.startsWith("HTTP/1.1 404 Not Found\r\n")) << target.constData();
        EXPECT_TRUE(reply.contains("404 Not Found</h1>")) << target.constData();
    }
}

TEST_F(FileResponderTest, KeepsConnectionsAliveUnlessAskedToClose) {
    EXPECT_TRUE(responder().Answer("GET / HTTP/1.1\r\nHost: x").keepAlive);
    EXPECT_FALSE(responder().Answer("GET / HTTP/1.1\r\nConnection: close").keepAlive);
    EXPECT_FALSE(responder().Answer("GET / HTTP/1.0").keepAlive);
    EXPECT_TRUE(responder().Answer("GET / HTTP/1.0\r\nConnection: Keep-Alive").keepAlive);
}

TEST_F(FileResponderTest, TakesPipelinedRequestsAndWaitsForIncompleteOnes) {
    QByteArray pending = "GET /files/koru/vanto_ver.txt HTTP/1.1\r\n\r\n"
                         "GET /files/none HTTP/1.1\r\n\r\nGET /files/koru/van";
    const QList<FileResponder::Reply> replies = responder().Take(pending);
    ASSERT_EQ(replies.size(), 2);
    EXPECT_TRUE(replies[0].bytes.startsWith("HTTP/1.1 200 OK"));
    EXPECT_TRUE(replies[1].bytes.startsWith("HTTP/1.1 404 Not Found"));
    EXPECT_EQ(pending, QByteArray("GET /files/koru/van"));
}

TEST_F(FileResponderTest, RefusesMalformedAndOversizedRequests) {
    QByteArray garbage = "NONSENSE\r\n\r\n";
    QList<FileResponder::Reply> replies = responder().Take(garbage);
    ASSERT_EQ(replies.size(), 1);
    EXPECT_TRUE(replies[0].bytes.startsWith("HTTP/1.1 400 Bad Request"));
    EXPECT_FALSE(replies[0].keepAlive);

    QByteArray endless(20000, 'a');
    replies = responder().Take(endless);
    ASSERT_EQ(replies.size(), 1);
    EXPECT_FALSE(replies[0].keepAlive);
    EXPECT_TRUE(endless.isEmpty());

    EXPECT_TRUE(
        responder().Answer("POST / HTTP/1.1").bytes.startsWith("HTTP/1.1 405 Method Not Allowed"));
}

} // namespace
