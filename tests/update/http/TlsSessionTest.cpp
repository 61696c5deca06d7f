// TLS over the socket object against a real nginx with certificates made for
// the test: what a trusted server sends arrives whole, and each kind of
// certificate or handshake failure gives its own reason. Also through a real
// proxy's CONNECT tunnel.
#include "TlsClient.h"
#include "support/NginxServer.h"
#include "support/TestCertificates.h"
#include "support/TestFiles.h"
#include "support/TinyProxy.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

using Kind = TestCertificates::Kind;
using Failure = TlsSession::Failure;

class TlsSessionTest : public ::testing::Test {
protected:
    // One CA for the suite, trusted as curl would be told to trust it.
    static void SetUpTestSuite() {
        if (NginxServer::Program().isEmpty() || TestCertificates::Program().isEmpty())
            return;
        certificates = std::make_unique<TestCertificates>();
        qputenv("SSL_CERT_FILE", QFile::encodeName(certificates->CaFile()));
    }
    static void TearDownTestSuite() {
        certificates.reset();
        qunsetenv("SSL_CERT_FILE");
    }
    void SetUp() override {
        if (!certificates)
            GTEST_SKIP()
                << "nginx or openssl is not installed (scripts/install-deps installs them)";
        // Large enough to take many records and several arrivals.
        for (int i = 0; i < 40000; ++i)
            file += QByteArray::number(i) + ' ';
        WriteFile(root.filePath(QStringLiteral("vanto_ver.txt")), file);
    }

    NginxServer::Tls Tls(Kind kind) {
        const TestCertificates::Files files = certificates->Make(kind);
        return {files.certificate, files.key};
    }

    static std::unique_ptr<TestCertificates> certificates;
    QTemporaryDir root;
    QByteArray file;
};

std::unique_ptr<TestCertificates> TlsSessionTest::certificates;

// The body after the response head, and the head's status line.
QByteArray Body(const QByteArray& response) {
    return response.mid(response.indexOf("\r\n\r\n") + 4);
}

TEST_F(TlsSessionTest, TrustedServerSendsTheFileByNameAndByAddress) {
    NginxServer nginx(root.path(), Tls(Kind::Trusted));
    for (const char* host : {"localhost", "127.0.0.1"}) {
        SCOPED_TRACE(host);
        const TlsExchange exchange = FetchOverTls(nginx.port(), host, "/vanto_ver.txt");
        EXPECT_EQ(exchange.reason, QByteArray());
        EXPECT_TRUE(exchange.response.startsWith("HTTP/1.1 200 OK\r\n"));
        EXPECT_EQ(Body(exchange.response), file);
        EXPECT_TRUE(exchange.closedCleanly);
    }
}

struct RefusedCase {
    const char* name;
    std::optional<Kind> kind; // none: nginx speaks plain HTTP
    Failure failure;
    QByteArray reason;
};

class TlsRefusedTest : public TlsSessionTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(TlsRefusedTest, GivesItsOwnReasonAndNoPlaintext) {
    const RefusedCase& c = GetParam();
    NginxServer nginx(root.path(), c.kind ? Tls(*c.kind) : NginxServer::Tls{});
    const TlsExchange exchange = FetchOverTls(nginx.port(), "localhost", "/vanto_ver.txt");
    EXPECT_EQ(exchange.failure, c.failure);
    EXPECT_EQ(exchange.reason, c.reason);
    EXPECT_EQ(exchange.response, QByteArray());
}

INSTANTIATE_TEST_SUITE_P(
    Certificates, TlsRefusedTest,
    ::testing::Values(
        RefusedCase{"SelfSigned", Kind::SelfSigned, Failure::Untrusted,
                    "The server's certificate is not trusted (self-signed certificate)."},
        RefusedCase{"OtherName", Kind::OtherName, Failure::WrongName,
                    "The server's certificate is for another name, not localhost."},
        RefusedCase{"Expired", Kind::Expired, Failure::Expired,
                    "The server's certificate has expired."},
        RefusedCase{"PlainHttp", std::nullopt, Failure::Handshake,
                    "The server did not complete a secure (TLS) handshake (wrong version "
                    "number)."}),
    [](const ::testing::TestParamInfo<RefusedCase>& param) { return param.param.name; });

// A server that hangs up after the client hello leaves no session to fall back on.
TEST(TlsSessionClosedTest, ClosingDuringTheHandshakeIsAHandshakeFailure) {
    TlsSession session("localhost");
    EXPECT_FALSE(session.TakeOutgoing().isEmpty());
    session.ConnectionClosed();
    EXPECT_EQ(session.failure(), Failure::Handshake);
    EXPECT_EQ(session.FailureReason(),
              "The server closed the connection during the secure (TLS) handshake.");
}

TEST_F(TlsSessionTest, ConnectTunnelCarriesTheSessionAndARefusalGivesTheStatusLine) {
    if (TinyProxy::Program().isEmpty())
        GTEST_SKIP() << "tinyproxy is not installed (scripts/install-deps installs it)";
    NginxServer nginx(root.path(), Tls(Kind::Trusted));
    TinyProxy proxy("koru", "s3cret");
    const TlsExchange tunnelled =
        FetchOverTls(nginx.port(), "localhost", "/vanto_ver.txt", proxy.port(),
                     "Basic " + QByteArray("koru:s3cret").toBase64());
    EXPECT_EQ(tunnelled.reason, QByteArray());
    EXPECT_EQ(Body(tunnelled.response), file);

    const TlsExchange refused =
        FetchOverTls(nginx.port(), "localhost", "/vanto_ver.txt", proxy.port());
    EXPECT_EQ(refused.reason, "HTTP/1.0 407 Proxy Authentication Required");
    EXPECT_EQ(refused.response, QByteArray());
}

} // namespace
