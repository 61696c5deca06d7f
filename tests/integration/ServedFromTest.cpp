// Where publishers really publish: a real nginx speaking TLS with
// certificates made for the test (trusted through SSL_CERT_FILE), a real
// tinyproxy CONNECT tunnel, nginx `return` redirects, and mirrors that fail
// in turn.
#include "support/CheckFixture.h"
#include "support/CopyTree.h"
#include "support/DialogAnswers.h"
#include "support/Minisign.h"
#include "support/NginxServer.h"
#include "support/TestCertificates.h"
#include "support/TestFiles.h"
#include "support/TinyProxy.h"

#include <QProcess>
#include <QTemporaryDir>
#include <memory>

namespace {

using Kind = TestCertificates::Kind;

const QByteArray checking = "Checking for VANTO Updates...\r\n";

class ServedFromTest : public VantoFixture {
protected:
    void SetUp() override {
        if (NginxServer::Program().isEmpty() || TestCertificates::Program().isEmpty())
            GTEST_SKIP()
                << "nginx or openssl is not installed (scripts/install-deps installs them)";
        CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/server"), published.path());
        certificates = std::make_unique<TestCertificates>();
        qputenv("SSL_CERT_FILE", QFile::encodeName(certificates->CaFile()));
    }
    void TearDown() override {
        for (const char* name : {"SSL_CERT_FILE", "https_proxy"})
            qunsetenv(name);
    }

    NginxServer& Serve(std::optional<Kind> kind, const QString& rules = {}) {
        servers.push_back(std::make_unique<NginxServer>(
            published.path(), kind ? Tls(*kind) : NginxServer::Tls{}, rules));
        return *servers.back();
    }
    NginxServer::Tls Tls(Kind kind) const {
        const TestCertificates::Files files = certificates->Make(kind);
        return {files.certificate, files.key};
    }
    static QByteArray Https(const NginxServer& nginx) { return "https://" + nginx.hostAndPort(); }
    bool Failures() const { return Log().contains("TRANSFER FAILED"); }

    QTemporaryDir published;
    std::unique_ptr<TestCertificates> certificates;
    std::vector<std::unique_ptr<NginxServer>> servers;
};

TEST_F(ServedFromTest, HttpsServesTheCheckAndASignedDownload) {
    if (!Minisign::Installed())
        GTEST_SKIP() << "minisign is not installed (scripts/install-deps installs it)";
    const QByteArray archive = ReadFile(published.filePath(QStringLiteral("files/vanto.zip")), {});
    const Minisign::Signed made = Minisign::SignBytes(archive, QStringLiteral("VANTO 2.14"));
    WriteFile(published.filePath(QStringLiteral("files/vanto.zip.minisig")), made.signature);
    Write("files/koru/update.pub", made.publicKey);
    SharedState().serverHost = Https(Serve(Kind::Trusted));

    Check();
    EXPECT_TRUE(VantoOffered()) << Log().constData();
    DialogAnswers answers;
    answers.file = home.filePath("update.zip");
    main().mnuAvailableDownload(0).Click();
    EXPECT_TRUE(Log().contains("Signature verified: VANTO 2.14\r\nDone!\r\n")) << Log().constData();
    EXPECT_TRUE(Read("update.zip") == archive);
}

TEST_F(ServedFromTest, ConsoleChecksOverHttps) {
    const QByteArray server = Https(Serve(Kind::Trusted));
    QProcess cli;
    cli.start(QStringLiteral(KORU_CLI),
              {QStringLiteral("--home"), home.path(), QStringLiteral("--server"),
               QString::fromLatin1(server), QStringLiteral("check")});
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().constData();
}

struct Refusal {
    const char* name;
    std::optional<Kind> certificate; // none: plain HTTP on the https port
    QByteArray reason;
};

class HttpsRefusalTest : public ServedFromTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(HttpsRefusalTest, FailsTheCheckWithItsOwnReason) {
    SharedState().serverHost = Https(Serve(GetParam().certificate));
    Check();
    EXPECT_TRUE(Log().startsWith(checking + Failed(killSwitchPath, GetParam().reason)))
        << Log().constData();
}

INSTANTIATE_TEST_SUITE_P(
    Certificates, HttpsRefusalTest,
    ::testing::Values(
        Refusal{"SelfSigned", Kind::SelfSigned,
                "The server's certificate is not trusted (self-signed certificate)."},
        Refusal{"OtherName", Kind::OtherName,
                "The server's certificate is for another name, not 127.0.0.1."},
        Refusal{"Expired", Kind::Expired, "The server's certificate has expired."},
        Refusal{"PlainHttp", std::nullopt,
                "The server did not complete a secure (TLS) handshake (wrong version number)."}),
    [](const ::testing::TestParamInfo<Refusal>& param) { return param.param.name; });

struct Tunnel {
    const char* name;
    QByteArray login;   // in https_proxy
    QByteArray failure; // of the first transfer, or empty
};

class HttpsProxyTest : public ServedFromTest, public ::testing::WithParamInterface<Tunnel> {};

// Only the tunnel knows the login: refused without it, through with it.
TEST_P(HttpsProxyTest, ChecksThroughTheTunnel) {
    if (TinyProxy::Program().isEmpty())
        GTEST_SKIP() << "tinyproxy is not installed (scripts/install-deps installs it)";
    TinyProxy proxy("koru", "s3cret");
    qputenv("https_proxy", proxy.Address(GetParam().login));
    SharedState().serverHost = Https(Serve(Kind::Trusted));
    Check();
    if (GetParam().failure.isEmpty())
        EXPECT_TRUE(VantoOffered() && !Failures()) << Log().constData();
    else
        EXPECT_TRUE(Log().startsWith(checking + Failed(killSwitchPath, GetParam().failure)))
            << Log().constData();
}

INSTANTIATE_TEST_SUITE_P(
    Logins, HttpsProxyTest,
    ::testing::Values(Tunnel{"Login", "koru:s3cret", {}},
                      Tunnel{"NoLogin", {}, "HTTP/1.0 407 Proxy Authentication Required"}),
    [](const ::testing::TestParamInfo<Tunnel>& param) { return param.param.name; });

struct Redirect {
    const char* name;
    const char* code;
    bool fromTls;
    enum { ToPlain, ToTls, ToItself } to;
    QByteArray failure; // "%1": the redirecting server's address; empty: the check works
};

class RedirectTest : public ServedFromTest, public ::testing::WithParamInterface<Redirect> {};

// Every file of the check is moved elsewhere by the first server.
TEST_P(RedirectTest, FollowsOrRefusesWithTheReason) {
    const Redirect& r = GetParam();
    QString target = QStringLiteral("$scheme://$http_host");
    if (r.to != Redirect::ToItself) {
        const NginxServer& files =
            Serve(r.to == Redirect::ToTls ? std::optional(Kind::Trusted) : std::nullopt);
        target = QString::fromLatin1(
            (r.to == Redirect::ToTls ? Https(files) : "http://" + files.hostAndPort()));
    }
    const NginxServer& first =
        Serve(r.fromTls ? std::optional(Kind::Trusted) : std::nullopt,
              QStringLiteral("    location /files/ { return %1 %2$request_uri; }\n")
                  .arg(QString::fromLatin1(r.code), target));
    const QByteArray address = (r.fromTls ? Https(first) : "http://" + first.hostAndPort());
    SharedState().serverHost = address;
    Check();
    if (r.failure.isEmpty()) {
        EXPECT_TRUE(VantoOffered() && !Failures()) << Log().constData();
    } else {
        QByteArray reason = r.failure;
        reason.replace("%1", address);
        EXPECT_TRUE(Log().startsWith(checking + Failed(killSwitchPath, reason)))
            << Log().constData();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, RedirectTest,
    ::testing::Values(Redirect{"Moved301", "301", false, Redirect::ToPlain, {}},
                      Redirect{"Found302", "302", false, Redirect::ToPlain, {}},
                      Redirect{"Temporary307", "307", true, Redirect::ToTls, {}},
                      Redirect{"Permanent308", "308", false, Redirect::ToPlain, {}},
                      Redirect{"HttpToHttps", "301", false, Redirect::ToTls, {}},
                      Redirect{"HttpsToHttp", "301", true, Redirect::ToPlain,
                               "The server redirected to an insecure address."},
                      Redirect{"Loop", "302", false, Redirect::ToItself,
                               "The server redirects in a loop; the last address was "
                               "%1/files/koru/killswitch.txt."}),
    [](const ::testing::TestParamInfo<Redirect>& param) { return param.param.name; });

struct Mirrors {
    const char* name;
    QList<QByteArray> servers; // "closed", "503" or "works", in order
    QByteArray failure;        // of the first transfer, or empty
    int moves;                 // "Trying the next server" lines
};

class MirrorTest : public CheckFixture, public ::testing::WithParamInterface<Mirrors> {};

// The first file finds the server that works; the rest of the check stays there.
TEST_P(MirrorTest, MovesOnInOrder) {
    ScriptedServer unavailable;
    for (const char* path : {killSwitchPath, versionPath, listPath, newsPath})
        unavailable.script(path, {{{ScriptedServer::Response("503 Service Unavailable", "")}}});
    Publish();
    QList<QByteArray> addresses;
    for (const QByteArray& kind : GetParam().servers)
        addresses.append(kind == "closed" ? TestVantoHome::ClosedServer()
                         : kind == "503"  ? unavailable.hostAndPort()
                                          : server.hostAndPort());
    SharedState().serverHost = addresses.join(',');
    Check();
    if (GetParam().failure.isEmpty())
        EXPECT_TRUE(VantoOffered() && !Log().contains("TRANSFER FAILED")) << Log().constData();
    else
        EXPECT_TRUE(Log().contains(Failed(killSwitchPath, GetParam().failure)))
            << Log().constData();
    EXPECT_EQ(Log().count("Trying the next server, 127.0.0.1.\r\n"), GetParam().moves);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, MirrorTest,
    ::testing::Values(Mirrors{"ThirdWorks", {"closed", "503", "works"}, {}, 2},
                      Mirrors{"NoneWorks",
                              {"closed", "503", "closed"},
                              "Connection refused. (3 servers tried)",
                              8}, // each of the check's four files tries them all
                      Mirrors{"OneServerAsBefore", {"closed"}, "Connection refused.", 0}),
    [](const ::testing::TestParamInfo<Mirrors>& param) { return param.param.name; });

} // namespace
