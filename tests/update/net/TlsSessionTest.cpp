// TLS over the socket object against a real nginx with certificates made for
// the test: what a trusted server sends arrives whole, by name and by address.
// The other refusals, and the proxy's tunnel, are checked end to end in
// ServedFromTest.
#include "TlsClient.h"
#include "support/NginxServer.h"
#include "support/TestCertificates.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Kind = TestCertificates::Kind;

TEST(TlsSessionTest, TrustedServerSendsTheFileByNameAndByAddressAndOtherNamesAreRefused) {
    if (NginxServer::Program().isEmpty() || TestCertificates::Program().isEmpty())
        GTEST_SKIP() << "nginx or openssl is not installed (scripts/install-deps installs them)";
    TestCertificates certificates;
    qputenv("SSL_CERT_FILE", QFile::encodeName(certificates.CaFile()));
    QTemporaryDir root;
    // Large enough to take many records and several arrivals.
    QByteArray file;
    for (int i = 0; i < 40000; ++i)
        file += QByteArray::number(i) + ' ';
    WriteFile(root.filePath(QStringLiteral("vanto_ver.txt")), file);
    const struct {
        QByteArray host;
        Kind kind;
        QByteArray reason; // empty: the file arrives
    } rows[] = {
        {"localhost", Kind::Trusted, {}},
        {"127.0.0.1", Kind::Trusted, {}},
        // By address in ServedFromTest; here the name is matched.
        {"localhost", Kind::OtherName,
         "The server's certificate is for another name, not localhost."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.host.constData());
        const TestCertificates::Files files = certificates.Make(row.kind);
        NginxServer nginx(root.path(), {files.certificate, files.key});
        const TlsExchange exchange = FetchOverTls(nginx.port(), row.host, "/vanto_ver.txt");
        EXPECT_EQ(exchange.reason, row.reason);
        if (row.reason.isEmpty()) {
            EXPECT_TRUE(exchange.response.startsWith("HTTP/1.1 200 OK\r\n"));
            EXPECT_EQ(exchange.response.mid(exchange.response.indexOf("\r\n\r\n") + 4), file);
            EXPECT_TRUE(exchange.closedCleanly);
        } else {
            EXPECT_EQ(exchange.response, QByteArray());
        }
    }
    qunsetenv("SSL_CERT_FILE");
}

// A server that hangs up after the client hello leaves no session to fall back on.
TEST(TlsSessionClosedTest, ClosingDuringTheHandshakeIsAHandshakeFailure) {
    TlsSession session("localhost");
    EXPECT_FALSE(session.TakeOutgoing().isEmpty());
    session.ConnectionClosed();
    EXPECT_EQ(session.failure(), TlsSession::Failure::Handshake);
    EXPECT_EQ(session.FailureReason(),
              "The server closed the connection during the secure (TLS) handshake.");
}

} // namespace
