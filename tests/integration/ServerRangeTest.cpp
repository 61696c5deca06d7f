// Byte ranges and their validators as resumed downloads will use them: the
// sample server answers each request as nginx does for the same tree.
#include "server/SampleServer.h"
#include "support/LoopbackClient.h"
#include "support/NginxServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray HeaderOf(const QByteArray& response, const QByteArray& name) {
    const QByteArray head = response.left(response.indexOf("\r\n\r\n") + 2).toLower();
    const qsizetype at = head.indexOf("\r\n" + name.toLower() + ":");
    if (at < 0)
        return "(none)";
    const qsizetype start = at + name.size() + 3;
    return response.mid(start, head.indexOf("\r\n", start) - start).trimmed();
}

struct Exchange {
    const char* method;
    const char* path;
    const char* range;   // "" none
    const char* ifRange; // "" none; "etag" / "date": the file's own validator
};

class ServerRangeTest : public ::testing::TestWithParam<Exchange> {
protected:
    static void SetUpTestSuite() {
        tree = new QTemporaryDir;
        QDir(tree->path()).mkpath(QStringLiteral("files"));
        QByteArray bytes;
        for (int i = 0; i < 1000; ++i)
            bytes += char('0' + i % 10);
        for (const auto& [name, content] :
             {std::pair{"files/vanto.zip", bytes}, std::pair{"files/empty.txt", QByteArray()}}) {
            QFile file(tree->filePath(QString::fromLatin1(name)));
            file.open(QIODevice::WriteOnly);
            file.write(content);
        }
    }
    static void TearDownTestSuite() {
        delete tree;
        tree = nullptr;
    }

    static QByteArray Ask(std::uint16_t port, const Exchange& e) {
        QByteArray condition = e.ifRange;
        if (condition == "etag" || condition == "date") {
            LoopbackClient probe(port);
            probe.Send("HEAD /files/vanto.zip HTTP/1.1\r\nHost: x\r\n\r\n");
            condition =
                HeaderOf(probe.Response(true), condition == "etag" ? "ETag" : "Last-Modified");
        }
        QByteArray request = QByteArray(e.method) + ' ' + e.path + " HTTP/1.1\r\nHost: x\r\n";
        if (*e.range != '\0')
            request += "Range: " + QByteArray(e.range) + "\r\n";
        if (!condition.isEmpty())
            request += "If-Range: " + condition + "\r\n";
        LoopbackClient client(port);
        client.Send(request + "\r\n");
        return client.Response(QByteArray(e.method) == "HEAD");
    }

    static inline QTemporaryDir* tree = nullptr;
};

TEST_P(ServerRangeTest, AnswersAsNginxDoes) {
    ASSERT_FALSE(NginxServer::Program().isEmpty()) << "nginx is not installed";
    NginxServer nginx(tree->path());
    SampleServer sample(tree->path(), 0);
    sample.Start();
    const QByteArray theirs = Ask(nginx.port(), GetParam());
    const QByteArray ours = Ask(std::uint16_t(sample.Port()), GetParam());
    ASSERT_FALSE(theirs.isEmpty());
    EXPECT_EQ(ours.left(12), theirs.left(12)) << ours.constData() << theirs.constData();
    for (const char* name : {"Content-Range", "ETag", "Last-Modified"})
        EXPECT_EQ(HeaderOf(ours, name), HeaderOf(theirs, name)) << name;
    if (!ours.startsWith("HTTP/1.1 416")) { // error pages differ
        EXPECT_EQ(HeaderOf(ours, "Content-Length"), HeaderOf(theirs, "Content-Length"));
        EXPECT_EQ(ours.mid(ours.indexOf("\r\n\r\n")), theirs.mid(theirs.indexOf("\r\n\r\n")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ServerRangeTest,
    ::testing::Values(Exchange{"GET", "/files/vanto.zip", "", ""},
                      Exchange{"GET", "/files/vanto.zip", "bytes=0-99", ""},
                      Exchange{"GET", "/files/vanto.zip", "bytes=100-", ""},
                      Exchange{"GET", "/files/vanto.zip", "bytes=-100", ""},
                      Exchange{"GET", "/files/vanto.zip", "bytes=-5000", ""},
                      Exchange{"GET", "/files/vanto.zip", "bytes=990-5000", ""},
                      Exchange{"GET", "/files/vanto.zip", "bytes=999-999", ""},
                      Exchange{"GET", "/files/vanto.zip", "bytes=1000-", ""},
                      Exchange{"GET", "/files/vanto.zip", "bytes=5000-6000", ""},
                      Exchange{"GET", "/files/vanto.zip", "bytes=0-9", "etag"},
                      Exchange{"GET", "/files/vanto.zip", "bytes=0-9", "date"},
                      Exchange{"GET", "/files/vanto.zip", "bytes=0-9", "\"3e8-0\""},
                      Exchange{"GET", "/files/vanto.zip", "bytes=0-9",
                               "Mon, 01 Jan 2001 00:00:00 GMT"},
                      Exchange{"HEAD", "/files/vanto.zip", "", ""},
                      Exchange{"HEAD", "/files/vanto.zip", "bytes=10-19", ""},
                      Exchange{"GET", "/files/empty.txt", "", ""},
                      Exchange{"GET", "/files/empty.txt", "bytes=0-", ""}));

} // namespace
