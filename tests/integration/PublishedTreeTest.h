// The main window's logic against a real server on loopback, the bundled
// sample server or nginx, publishing a copy of the sample tree that a test
// may change.
#pragma once

#include "server/SampleServer.h"
#include "support/CheckFixture.h"
#include "support/CopyTree.h"
#include "support/NginxServer.h"
#include "support/TestCertificates.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <ostream>

enum class ServerKind { Sample, Nginx, NginxTls };

inline const char* ServerKindName(ServerKind kind) {
    return kind == ServerKind::Sample  ? "SampleServer"
           : kind == ServerKind::Nginx ? "Nginx"
                                       : "NginxTls";
}

inline void PrintTo(ServerKind kind, std::ostream* out) {
    *out << ServerKindName(kind);
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
            NginxServer::Tls tls;
            if (GetParam() == ServerKind::NginxTls) {
                // Trusted through SSL_CERT_FILE, as a private CA is.
                certificates = std::make_unique<TestCertificates>();
                const TestCertificates::Files files =
                    certificates->Make(TestCertificates::Kind::Trusted);
                tls = {files.certificate, files.key};
                qputenv("SSL_CERT_FILE", QFile::encodeName(certificates->CaFile()));
            }
            nginx = std::make_unique<NginxServer>(published.path(), tls);
            SharedState().serverHost = Address(nginx->hostAndPort());
        }
    }
    void TearDown() override { qunsetenv("SSL_CERT_FILE"); }

    // How KORU names the server at `hostAndPort` (or a relay in front of it).
    QByteArray Address(const QByteArray& hostAndPort) const {
        return (GetParam() == ServerKind::NginxTls ? "https://" : "") + hostAndPort;
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
    std::unique_ptr<TestCertificates> certificates;
};

#define INSTANTIATE_PUBLISHED_TREE_TESTS(Suite)                                                    \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        Servers, Suite,                                                                            \
        ::testing::Values(ServerKind::Sample, ServerKind::Nginx, ServerKind::NginxTls),            \
        [](const ::testing::TestParamInfo<ServerKind>& kind) {                                     \
            return ServerKindName(kind.param);                                                     \
        })
