// The transfer engine over TLS against a server that ends a body framed by
// the close with its close alert and then waits for the client's before it
// hangs up: the alert ends the body.
#include "platform/runtime/Events.h"
#include "support/LoopbackPort.h"
#include "support/TestCertificates.h"
#include "update/net/ScriptedConnection.h"
#include "update/net/SocketConnection.h"
#include "update/net/TransferEngine.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

namespace {

// One connection on its own thread, bounded in time, with OpenSSL's server side.
class GoodbyeServer {
public:
    GoodbyeServer(const TestCertificates::Files& files, QByteArray answer)
        : context_(SSL_CTX_new(TLS_server_method())), listenFd_(ListenOnLoopback(port_, 1)) {
        SSL_CTX_use_certificate_chain_file(context_, QFile::encodeName(files.certificate));
        SSL_CTX_use_PrivateKey_file(context_, QFile::encodeName(files.key), SSL_FILETYPE_PEM);
        thread_ = std::thread([this, answer] { Serve(answer); });
    }
    ~GoodbyeServer() {
        thread_.join();
        ::close(listenFd_);
        SSL_CTX_free(context_);
    }
    GoodbyeServer(const GoodbyeServer&) = delete;
    GoodbyeServer& operator=(const GoodbyeServer&) = delete;

    std::uint16_t port() const { return port_; }

private:
    void Serve(const QByteArray& answer) {
        pollfd waiting{listenFd_, POLLIN, 0};
        if (::poll(&waiting, 1, 5000) != 1)
            return;
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        const timeval limit{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        SSL* ssl = SSL_new(context_);
        SSL_set_fd(ssl, fd);
        char buffer[4096];
        QByteArray request;
        if (SSL_accept(ssl) == 1) {
            for (int got = 1; got > 0 && !request.contains("\r\n\r\n");) {
                got = SSL_read(ssl, buffer, sizeof buffer);
                request.append(buffer, qMax(got, 0));
            }
            SSL_write(ssl, answer.constData(), int(answer.size()));
            SSL_shutdown(ssl);
            SSL_read(ssl, buffer, sizeof buffer); // the client's goodbye, or the time limit
        }
        SSL_free(ssl);
        ::close(fd);
    }

    SSL_CTX* context_;
    std::uint16_t port_ = 0;
    int listenFd_;
    std::thread thread_;
};

TEST(TlsGoodbyeTest, TheServersCloseAlertEndsABodyFramedByTheClose) {
    if (TestCertificates::Program().isEmpty())
        GTEST_SKIP() << "openssl is not installed (scripts/install-deps installs it)";
    TestCertificates certificates;
    qputenv("SSL_CERT_FILE", QFile::encodeName(certificates.CaFile()));
    for (const char* name : {"https_proxy", "HTTPS_PROXY"})
        qunsetenv(name);
    GoodbyeServer server(certificates.Make(TestCertificates::Kind::Trusted),
                         "HTTP/1.1 200 OK\r\n\r\nVER = 02.14");

    TransferEngine engine;
    SocketConnection socket;
    ScriptedConnection::RouteTo(socket, engine);
    QByteArray text;
    std::optional<TransferFailure> ended;
    engine.FetchText(socket, "https://127.0.0.1:" + QByteArray::number(server.port()),
                     "/files/koru/vanto_ver.txt", text,
                     [&](const FetchResult& result) { ended = result.failure; });
    QDeadlineTimer deadline(3000);
    QTimer tick; // wakes the loop, so the deadline is seen without any other event
    tick.start(10);
    WaitUntil([&] { return ended || deadline.hasExpired(); });
    engine.Cancel();
    qunsetenv("SSL_CERT_FILE");

    ASSERT_TRUE(ended) << "no end within 3 s";
    EXPECT_EQ(ended->text, QByteArray());
    EXPECT_EQ(text, QByteArray("VER = 02.14"));
}

} // namespace
