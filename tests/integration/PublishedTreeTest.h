// The main window's logic against a real server on loopback, the bundled
// sample server or nginx, publishing a copy of the sample tree that a test
// may change.
#pragma once

#include "server/SampleServer.h"
#include "support/CheckFixture.h"
#include "support/CopyTree.h"
#include "support/NginxServer.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <ostream>

enum class ServerKind { Sample, Nginx };

inline void PrintTo(ServerKind kind, std::ostream* out) {
    *out << (kind == ServerKind::Sample ? "sample server" : "nginx");
}

class PublishedTreeTest : public VantoFixture, public ::testing::WithParamInterface<ServerKind> {
protected:
    void SetUp() override {
        CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/server"), published.path());
        if (GetParam() == ServerKind::Sample) {
            sample = std::make_unique<SampleServer>(published.path(), 0);
            sample->Start();
            SharedState().serverHost = "127.0.0.1:" + QByteArray::number(Port());
        } else {
            ASSERT_FALSE(NginxServer::Program().isEmpty()) << "nginx is not installed";
            nginx = std::make_unique<NginxServer>(published.path());
            SharedState().serverHost = nginx->hostAndPort();
        }
    }

    std::uint16_t Port() const { return sample ? std::uint16_t(sample->Port()) : nginx->port(); }

    QByteArray ServerFile(const char* relative) const {
        return ReadFile(published.filePath(QString::fromLatin1(relative)), {});
    }
    void Publish(const char* relative, const QByteArray& bytes) const {
        WriteFile(published.filePath(QString::fromLatin1(relative)), bytes);
    }
    void Withdraw(const char* relative) const {
        QFile::remove(published.filePath(QString::fromLatin1(relative)));
    }

    QByteArray News() const { return ServerFile("files/koru/otherinfo.txt") + "\r\n" + separator; }

    QTemporaryDir published;
    std::unique_ptr<SampleServer> sample;
    std::unique_ptr<NginxServer> nginx;
};

#define INSTANTIATE_PUBLISHED_TREE_TESTS(Suite)                                                    \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        Servers, Suite, ::testing::Values(ServerKind::Sample, ServerKind::Nginx),                  \
        [](const ::testing::TestParamInfo<ServerKind>& kind) {                                     \
            return kind.param == ServerKind::Sample ? "SampleServer" : "Nginx";                    \
        })
