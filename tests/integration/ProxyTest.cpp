// Transfers through a real HTTP proxy (tinyproxy) on loopback, as http_proxy
// and no_proxy ask: the proxy marks what it forwards with a Via header.
#include "console/ConsoleRunner.h"
#include "support/CheckFixture.h"
#include "support/DialogAnswers.h"
#include "support/TinyProxy.h"

#include <QBuffer>
#include <QProcess>

namespace {

class ProxyTest : public CheckFixture {
protected:
    void SetUp() override {
        if (TinyProxy::Program().isEmpty())
            GTEST_SKIP() << "tinyproxy is not installed (scripts/install-deps installs it)";
        Publish();
    }
    void TearDown() override {
        qunsetenv("http_proxy");
        qunsetenv("no_proxy");
    }

    // How many of the server's requests came through the proxy.
    int Proxied() const {
        int count = 0;
        for (const QByteArray& request : server.requests())
            count += request.toLower().contains("\r\nvia: ") ? 1 : 0;
        return count;
    }
};

TEST_F(ProxyTest, CheckAndDownloadGoThroughTheProxy) {
    TinyProxy proxy;
    qputenv("http_proxy", proxy.Address());
    server.script("/files/vanto.zip", {{{ZipResponse(ArchiveBytes())}}});
    Check();
    EXPECT_TRUE(VantoOffered()) << Log().constData();
    DialogAnswers answers;
    answers.file = home.filePath("update.zip");
    main().mnuAvailableDownload(0).Click();
    EXPECT_EQ(Read("update.zip"), ArchiveBytes());
    EXPECT_EQ(Proxied(), 5);
    // The server's address stays the server's.
    EXPECT_TRUE(server.requests().first().contains("\r\nHost: " + server.hostAndPort() + "\r\n"));
}

struct ProxyCase {
    const char* name;
    QByteArray login;   // in http_proxy
    QByteArray noProxy; // no_proxy
    QByteArray failure; // of the first transfer, or empty
    int proxied;
};

class ProxyCaseTest : public ProxyTest, public ::testing::WithParamInterface<ProxyCase> {};

TEST_P(ProxyCaseTest, Check) {
    TinyProxy proxy("koru", "s3cret");
    qputenv("http_proxy", proxy.Address(GetParam().login));
    qputenv("no_proxy", GetParam().noProxy);
    Check();
    if (GetParam().failure.isEmpty())
        EXPECT_TRUE(VantoOffered()) << Log().constData();
    else
        EXPECT_TRUE(Log().contains(Failed(killSwitchPath, GetParam().failure)))
            << Log().constData();
    EXPECT_EQ(Proxied(), GetParam().proxied);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ProxyCaseTest,
    ::testing::Values(ProxyCase{"Login", "koru:s3cret", {}, {}, 4},
                      ProxyCase{"NoLogin", {}, {}, "HTTP/1.0 407 Proxy Authentication Required", 0},
                      ProxyCase{"NoProxyMatches", {}, "example.com, 127.0.0.1", {}, 0},
                      ProxyCase{"NoProxyDoesNotMatch", "koru:s3cret", "example.com", {}, 4}),
    [](const ::testing::TestParamInfo<ProxyCase>& param) { return param.param.name; });

TEST_F(ProxyTest, ProxyThatIsDownFailsAtOnce) {
    qputenv("http_proxy", "http://" + TestVantoHome::ClosedServer());
    Check();
    EXPECT_TRUE(Log().startsWith("Checking for VANTO Updates...\r\n" +
                                 Failed(killSwitchPath, "Connection refused.")))
        << Log().constData();
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(ProxyTest, ConsoleGoesThroughTheProxy) {
    TinyProxy proxy;
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("http_proxy"), QString::fromLatin1(proxy.Address()));
    cli.setProcessEnvironment(environment);
    cli.start(QStringLiteral(KORU_CLI),
              {QStringLiteral("--home"), home.path(), QStringLiteral("--server"),
               QString::fromLatin1(server.hostAndPort()), QStringLiteral("check")});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().constData();
    EXPECT_EQ(Proxied(), 4);
}

} // namespace
