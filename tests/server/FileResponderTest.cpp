// The sample server's answers: files with their types, keep-alive, both
// request forms, not-found pages, nothing from outside the root, byte ranges
// with their validators, and requests whose bodies are never waited for.
#include "server/FileResponder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

// The bytes a reply puts on the wire.
QByteArray Wire(FileResponder::Reply reply) {
    QByteArray bytes;
    do {
        bytes += reply.head;
        if (reply.file) {
            reply.file->seek(reply.offset);
            bytes += reply.file->read(reply.length);
        }
    } while (reply.NextSection());
    return bytes;
}

QByteArray HeaderOf(const QByteArray& bytes, const QByteArray& name) {
    const qsizetype at = bytes.indexOf("\r\n" + name + ": ");
    if (at < 0 || at > bytes.indexOf("\r\n\r\n"))
        return "(none)";
    const qsizetype start = at + name.size() + 4;
    return bytes.mid(start, bytes.indexOf("\r\n", start) - start);
}

QByteArray BodyOf(const QByteArray& bytes) {
    return bytes.mid(bytes.indexOf("\r\n\r\n") + 4);
}

class FileResponderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("root/files/koru")));
        write("root/files/koru/vanto_ver.txt", "VANTO 02.14 notes");
        write("root/files/vanto.zip", QByteArray("PK\x03\x04\x00\xff", 6));
        write("root/files/empty.txt", "");
        write("secret.txt", "outside");
        QFile::link(dir.filePath(QStringLiteral("secret.txt")),
                    dir.filePath(QStringLiteral("root/files/link.txt")));
    }

    void write(const char* name, const QByteArray& bytes) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray get(const QByteArray& target, const QByteArray& extra = {},
                   const QByteArray& method = "GET") {
        return Wire(responder().Answer(method + ' ' + target + " HTTP/1.1\r\nHost: x" + extra));
    }

    FileResponder responder() const { return FileResponder(dir.filePath(QStringLiteral("root"))); }

    QTemporaryDir dir;
};

TEST_F(FileResponderTest, ServesFilesInBothRequestFormsWithTypeLengthAndValidators) {
    const QByteArray origin = get("/files/koru/vanto_ver.txt");
    EXPECT_TRUE(origin.startsWith("HTTP/1.1 200 OK\r\nServer: koru-sample-server\r\n"));
    EXPECT_EQ(HeaderOf(origin, "Content-Type"), "text/plain");
    EXPECT_EQ(HeaderOf(origin, "Content-Length"), "17");
    EXPECT_EQ(HeaderOf(origin, "Accept-Ranges"), "bytes");
    EXPECT_EQ(HeaderOf(origin, "Connection"), "keep-alive");
    EXPECT_TRUE(HeaderOf(origin, "Last-Modified").endsWith(" GMT"));
    EXPECT_TRUE(HeaderOf(origin, "ETag").endsWith("-11\"")); // size 17 in hex
    EXPECT_EQ(BodyOf(origin), "VANTO 02.14 notes");
    EXPECT_EQ(get("http://127.0.0.1:8080/files/koru/vanto_ver.txt"), origin);
    const QByteArray zip = get("/files/vanto.zip");
    EXPECT_EQ(HeaderOf(zip, "Content-Type"), "application/zip");
    EXPECT_EQ(BodyOf(zip), QByteArray("PK\x03\x04\x00\xff", 6));

    const QByteArray head = get("/files/koru/vanto_ver.txt", {}, "HEAD");
    EXPECT_EQ(head, origin.left(origin.indexOf("\r\n\r\n") + 4));
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

TEST_F(FileResponderTest, OutOfDescriptorsAFileThatExistsIsUnavailableForNow) {
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &previous), 0);
    rlimit low = previous;
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> taken;
    for (int fd; taken.size() < 64 && (fd = ::dup(0)) >= 0;)
        taken.push_back(fd);
    const auto reply = responder().Answer("GET /files/vanto.zip HTTP/1.1\r\nHost: x");
    for (const int fd : taken)
        ::close(fd);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &previous), 0);
    EXPECT_TRUE(reply.head.startsWith("HTTP/1.1 503 Service Unavailable\r\n"));
    EXPECT_EQ(HeaderOf(reply.head, "Retry-After"), QByteArray("1"));
    EXPECT_FALSE(reply.keepAlive);
}

TEST_F(FileResponderTest, KeepsConnectionsAliveUnlessAskedToClose) {
    EXPECT_TRUE(responder().Answer("GET / HTTP/1.1\r\nHost: x").keepAlive);
    EXPECT_FALSE(responder().Answer("GET / HTTP/1.1\r\nConnection: close").keepAlive);
    EXPECT_FALSE(responder().Answer("GET / HTTP/1.0").keepAlive);
    EXPECT_TRUE(responder().Answer("GET / HTTP/1.0\r\nConnection: Keep-Alive").keepAlive);
}

struct RangeCase {
    const char* range;
    const char* ifRange; // "" none, "etag" and "date" the file's own validators
    int status;
    const char* contentRange;
    const char* body;
};

class RangeTest : public FileResponderTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(RangeTest, AnswersOneRangeOrTheWholeFile) {
    const RangeCase& c = GetParam();
    const QByteArray whole = get("/files/koru/vanto_ver.txt");
    QByteArray condition = c.ifRange;
    if (condition == "etag" || condition == "date")
        condition = HeaderOf(whole, condition == "etag" ? "ETag" : "Last-Modified");
    QByteArray extra = "\r\nRange: " + QByteArray(c.range);
    if (!condition.isEmpty())
        extra += "\r\nIf-Range: " + condition;
    const QByteArray reply = get("/files/koru/vanto_ver.txt", extra);
    EXPECT_TRUE(reply.startsWith("HTTP/1.1 " + QByteArray::number(c.status) + ' '))
        << reply.constData();
    EXPECT_EQ(HeaderOf(reply, "Content-Range"), c.contentRange);
    EXPECT_EQ(HeaderOf(reply, "Content-Length").toLongLong(), BodyOf(reply).size());
    if (c.status != 416) {
        EXPECT_EQ(BodyOf(reply), c.body);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, RangeTest,
    ::testing::Values(RangeCase{"bytes=6-10", "", 206, "bytes 6-10/17", "02.14"},
                      RangeCase{"bytes=12-", "", 206, "bytes 12-16/17", "notes"},
                      RangeCase{"bytes=-5", "", 206, "bytes 12-16/17", "notes"},
                      RangeCase{"bytes=-100", "", 206, "bytes 0-16/17", "VANTO 02.14 notes"},
                      RangeCase{"bytes=16-99999999999999999999", "", 206, "bytes 16-16/17", "s"},
                      RangeCase{"Bytes= 0-0", "", 206, "bytes 0-0/17", "V"},
                      RangeCase{"bytes=17-", "", 416, "bytes */17", ""},
                      RangeCase{"bytes=-0", "", 416, "bytes */17", ""},
                      RangeCase{"bytes=0-16,0-0", "", 200, "(none)", "VANTO 02.14 notes"},
                      RangeCase{"bytes=0-1,x", "", 200, "(none)", "VANTO 02.14 notes"},
                      RangeCase{"bytes=99-,-3", "", 206, "bytes 14-16/17", "tes"},
                      RangeCase{"bytes=5-2", "", 200, "(none)", "VANTO 02.14 notes"},
                      RangeCase{"items=0-1", "", 200, "(none)", "VANTO 02.14 notes"},
                      RangeCase{"bytes=0-4", "etag", 206, "bytes 0-4/17", "VANTO"},
                      RangeCase{"bytes=0-4", "date", 206, "bytes 0-4/17", "VANTO"},
                      RangeCase{"bytes=0-4", "\"0-11\"", 200, "(none)", "VANTO 02.14 notes"},
                      RangeCase{"bytes=0-4", "Mon, 01 Jan 2001 00:00:00 GMT", 200, "(none)",
                                "VANTO 02.14 notes"},
                      RangeCase{"bytes=99-", "\"0-11\"", 200, "(none)", "VANTO 02.14 notes"}));

// The parts themselves, and the length that frames them, are in SampleServerTest.
TEST_F(FileResponderTest, SeveralRangesAreSentAsMultipartByterangesLikeNginx) {
    const QByteArray reply = get("/files/koru/vanto_ver.txt", "\r\nRange: bytes=0-4,12-");
    EXPECT_TRUE(reply.startsWith("HTTP/1.1 206 Partial Content\r\n")) << reply.constData();
    EXPECT_TRUE(HeaderOf(reply, "Content-Type").startsWith("multipart/byteranges; boundary="));
    EXPECT_EQ(HeaderOf(reply, "Content-Range"), "(none)");
    EXPECT_TRUE(BodyOf(reply).contains("Content-Type: text/plain\r\nContent-Range: bytes 12-16/17"
                                       "\r\n\r\nnotes\r\n--"));
    const QByteArray head = get("/files/koru/vanto_ver.txt", "\r\nRange: bytes=0-4,12-", "HEAD");
    EXPECT_EQ(head.size(), head.indexOf("\r\n\r\n") + 4);
}

TEST_F(FileResponderTest, EmptyFileIsSentWholeWhateverTheRange) {
    const QByteArray reply = get("/files/empty.txt", "\r\nRange: bytes=0-");
    EXPECT_TRUE(reply.startsWith("HTTP/1.1 200 ")) << reply.constData();
    EXPECT_EQ(HeaderOf(reply, "Content-Range"), "(none)");
}

TEST_F(FileResponderTest, TakesOneRequestAtATimeAndWaitsForIncompleteOnes) {
    QByteArray pending = "GET /files/koru/vanto_ver.txt HTTP/1.1\r\n\r\n"
                         "GET /files/none HTTP/1.1\r\n\r\nGET /files/koru/van";
    const auto first = responder().Take(pending);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->head.startsWith("HTTP/1.1 200 OK"));
    const auto second = responder().Take(pending);
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->head.startsWith("HTTP/1.1 404 Not Found"));
    EXPECT_FALSE(responder().Take(pending));
    EXPECT_EQ(pending, QByteArray("GET /files/koru/van"));
}

TEST_F(FileResponderTest, BodiesAreNeverWaitedForBeyondAShortOne) {
    struct Case {
        QByteArray request;
        const char* status; // "" when the request must wait for more
        bool keepAlive;
    };
    const Case cases[] = {
        {"POST / HTTP/1.1\r\nContent-Length: 1000000000000\r\n\r\nabc", "405", false},
        {"PUT /files/vanto.zip HTTP/1.1\r\n\r\n", "405", false},
        {"GET /files/vanto.zip HTTP/1.1\r\nContent-Length: 4\r\n\r\nab", "", true},
        {"GET /files/vanto.zip HTTP/1.1\r\nContent-Length: 4\r\n\r\nabcd", "200", true},
        {"GET /files/vanto.zip HTTP/1.1\r\nContent-Length: 1000000\r\n\r\n", "413", false},
        {"GET /files/vanto.zip HTTP/1.1\r\nContent-Length: -1\r\n\r\n", "400", false},
        {"GET /files/vanto.zip HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n", "400", false},
        {"GET / HTTP/1.1\r\nContent-Length: 0\r\ncontent-length: 5\r\n\r\n", "400", false},
        {"HEAD / HTTP/1.1\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nab", "400", false},
        {"POST / HTTP/1.1\r\nContent-Length: 5\r\nTransfer-Encoding: x\r\n\r\n", "400", false},
        {"NONSENSE\r\n\r\n", "400", false},
        {QByteArray(20000, 'a'), "400", false},
        {"GET / HTTP/1.1\r\nX: " + QByteArray(20000, 'a') + "\r\n\r\n", "400", false},
    };
    for (const Case& c : cases) {
        // A request that follows is kept, unless the connection is to end.
        QByteArray pending = c.request;
        if (*c.status != '\0' && c.request.size() < 10000)
            pending += "GET / HTTP/1.1\r\n\r\n";
        const auto reply = responder().Take(pending);
        const QByteArray label = c.request.left(60);
        if (*c.status == '\0') {
            EXPECT_FALSE(reply) << label.constData();
            continue;
        }
        ASSERT_TRUE(reply) << label.constData();
        EXPECT_TRUE(reply->head.startsWith("HTTP/1.1 " + QByteArray(c.status)))
            << label.constData();
        EXPECT_EQ(reply->keepAlive, c.keepAlive) << label.constData();
        EXPECT_EQ(pending.isEmpty(), !c.keepAlive) << label.constData();
    }
}

} // namespace
