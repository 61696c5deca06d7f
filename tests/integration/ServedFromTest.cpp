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
    // The check worked, or its first transfer failed for `failure`.
    void ExpectCheck(const QByteArray& failure) {
        if (failure.isEmpty())
            EXPECT_TRUE(VantoOffered() && !Log().contains("TRANSFER FAILED")) << Log().constData();
        else
            EXPECT_TRUE(Log().startsWith(checking + Failed(killSwitchPath, failure)))
                << Log().constData();
    }

    QTemporaryDir published;
    std::unique_ptr<TestCertificates> certificates;
    std::vector<std::unique_ptr<NginxServer>> servers;
};

// Through a CONNECT tunnel, as a user behind a proxy that asks a login gets it.
TEST_F(ServedFromTest, HttpsServesTheCheckAndASignedDownloadThroughAProxy) {
    if (!Minisign::Installed() || TinyProxy::Program().isEmpty())
        GTEST_SKIP()
            << "minisign or tinyproxy is not installed (scripts/install-deps installs them)";
    TinyProxy proxy("koru", "s3cret");
    qputenv("https_proxy", proxy.Address("koru:s3cret"));
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

struct Secure {
    const char* name;
    std::optional<Kind> certificate;      // none: plain HTTP on the https port
    std::optional<QByteArray> proxyLogin; // through tinyproxy, asking this login
    QByteArray failure;                   // of the first transfer, or empty
};

class HttpsTest : public ServedFromTest, public ::testing::WithParamInterface<Secure> {};

TEST_P(HttpsTest, ChecksOrRefusesWithItsOwnReason) {
    const Secure& c = GetParam();
    std::optional<TinyProxy> proxy;
    if (c.proxyLogin) {
        if (TinyProxy::Program().isEmpty())
            GTEST_SKIP() << "tinyproxy is not installed (scripts/install-deps installs it)";
        proxy.emplace("koru", "s3cret");
        qputenv("https_proxy", proxy->Address(*c.proxyLogin));
    }
    SharedState().serverHost = Https(Serve(c.certificate));
    Check();
    ExpectCheck(c.failure);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, HttpsTest,
    ::testing::Values(
        Secure{"SelfSigned",
               Kind::SelfSigned,
               {},
               "The server's certificate is not trusted (self-signed certificate)."},
        Secure{"OtherName",
               Kind::OtherName,
               {},
               "The server's certificate is for another name, not 127.0.0.1."},
        Secure{"Expired", Kind::Expired, {}, "The server's certificate has expired."},
        Secure{"PlainHttp",
               std::nullopt,
               {},
               "The server did not complete a secure (TLS) handshake (wrong version number)."},
        // Only the tunnel's request carries the login (given in the test above).
        Secure{"TunnelWithoutLogin", Kind::Trusted, QByteArray(),
               "HTTP/1.0 407 Proxy Authentication Required"}),
    [](const ::testing::TestParamInfo<Secure>& param) { return param.param.name; });

struct Redirect {
    const char* name;
    const char* code;
    bool fromTls;
    enum { ToPlain, ToTls, ToItself, ToClosed } to;
    QByteArray failure; // "%1": the first server's address, "%2" the target's; empty: it works
};

class RedirectTest : public ServedFromTest, public ::testing::WithParamInterface<Redirect> {};

// Every file of the check is moved elsewhere by the first server.
TEST_P(RedirectTest, FollowsOrRefusesWithTheReason) {
    const Redirect& r = GetParam();
    QString target = QStringLiteral("$scheme://$http_host");
    if (r.to == Redirect::ToClosed) {
        target = QString::fromLatin1("http://" + TestVantoHome::ClosedServer());
    } else if (r.to != Redirect::ToItself) {
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
    QByteArray reason = r.failure;
    ExpectCheck(reason.replace("%1", address).replace("%2", target.toLatin1()));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, RedirectTest,
    // Which statuses redirect is in RedirectPolicyTest.
    ::testing::Values(Redirect{"Temporary307", "307", true, Redirect::ToTls, {}},
                      Redirect{"Permanent308", "308", false, Redirect::ToPlain, {}},
                      Redirect{"HttpToHttps", "301", false, Redirect::ToTls, {}},
                      Redirect{"HttpsToHttp", "301", true, Redirect::ToPlain,
                               "The server redirected to an insecure address."},
                      Redirect{"ToNoServer", "307", false, Redirect::ToClosed,
                               "Connection refused. (%2/files/koru/killswitch.txt)"},
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
    // Named as the user wrote it, port included.
    EXPECT_EQ(Log().count("Trying the next server, 127.0.0.1:"), GetParam().moves);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, MirrorTest,
    ::testing::Values(Mirrors{"ThirdWorks", {"closed", "503", "works"}, {}, 2},
                      Mirrors{"NoneWorks",
                              {"closed", "503", "closed"},
                              "Connection refused. (3 servers tried)",
                              2}, // the closed ones are not asked again in the check
                      Mirrors{"OneServerAsBefore", {"closed"}, "Connection refused.", 0}),
    [](const ::testing::TestParamInfo<Mirrors>& param) { return param.param.name; });

} // namespace
