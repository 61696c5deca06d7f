// Server addresses as users write them, where a redirect's Location leads
// (RFC 3986, section 5.2, with its own examples among the rows), and which
// redirects a fetch follows.
#include "update/net/ServerAddress.h"

#include "update/net/RedirectPolicy.h"

#include <gtest/gtest.h>

namespace {

// "scheme host port HostHeader", or the problem.
QByteArray Describe(const QList<ServerAddress>& servers, const QByteArray& problem) {
    if (servers.isEmpty())
        return problem;
    QList<QByteArray> words;
    for (const ServerAddress& server : servers)
        words << server.SchemeName() + ' ' + server.host() + ' ' +
                     QByteArray::number(server.port()) + ' ' + server.HostHeader();
    return words.join(", ");
}

TEST(ServerAddressTest, ParsesServersAndMirrorListsAndRejectsJunk) {
    const struct {
        const char* name;
        QByteArray text;
        QByteArray expected;
    } rows[] = {
        {"Bare", "update.koru.example", "http update.koru.example 80 update.koru.example"},
        {"BarePort", " 127.0.0.1:8080 ", "http 127.0.0.1 8080 127.0.0.1:8080"},
        {"Http", "HTTP://a.example/", "http a.example 80 a.example"},
        {"Https", "https://a.example", "https a.example 443 a.example"},
        {"HttpsOwnPort", "https://a.example:8443", "https a.example 8443 a.example:8443"},
        {"HttpsPort80", "https://a.example:80", "https a.example 80 a.example:80"},
        {"Mirrors", "https://a.example.org, http://b.example.org:8080",
         "https a.example.org 443 a.example.org, http b.example.org 8080 b.example.org:8080"},
        {"Empty", " ", "No server address is given."},
        {"OtherScheme", "ftp://a.example",
         "The server address ftp://a.example uses ftp://, which KORU does not support (only "
         "http:// and https://)."},
        {"Path", "https://a.example/koru",
         "The server address https://a.example/koru names a "
         "path; give only the host and port."},
        {"Login", "http://user@a.example",
         "The server address http://user@a.example names no "
         "valid host."},
        {"HostEndsInDot", "a.example.", "The server address a.example. names no valid host."},
        {"PortMissing", "https://a.example:",
         "The server address https://a.example: has no valid "
         "port."},
        {"EmptyMirror", "a.example,,b.example",
         "The server list a.example,,b.example has an "
         "empty entry."},
        {"BadMirror", "a.example,b.example:x", "The server address b.example:x has no valid port."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QByteArray problem;
        const QList<ServerAddress> servers = ServerAddress::ParseList(row.text, problem);
        EXPECT_EQ(Describe(servers, problem), row.expected);
    }
}

ServerAddress Server(const QByteArray& text) {
    QByteArray problem;
    const ServerAddress server = ServerAddress::Parse(text, problem);
    EXPECT_TRUE(server.valid()) << problem.constData();
    return server;
}

TEST(ServerAddressTest, ResolvesLocationsAgainstTheCurrentAddress) {
    const struct {
        const char* name;
        QByteArray base; // server and path
        QByteArray reference;
        QByteArray expected; // the address, or the problem
    } rows[] = {
        {"Absolute", "http://a.example/files/v.txt", "https://b.example:8443/x/y.txt",
         "https://b.example:8443/x/y.txt"},
        {"SchemeRelative", "https://a.example/f", "//c.example/g?q", "https://c.example/g?q"},
        {"AbsolutePath", "http://a.example:8080/files/koru/v.txt", "/mirror/../v2/./v.txt",
         "http://a.example:8080/v2/v.txt"},
        {"RelativePath", "http://a.example/files/koru/v.txt", "other.txt#part",
         "http://a.example/files/koru/other.txt"},
        {"RelativeUp", "http://a.example/files/koru/v.txt", "../../up/f?x=1",
         "http://a.example/up/f?x=1"},
        {"AboveTheRoot", "http://a.example/b/c/d;p?q", "../../../g", "http://a.example/g"},
        {"QueryOnly", "http://a.example/b/c/d;p?q", "?y", "http://a.example/b/c/d;p?y"},
        {"FragmentOnly", "http://a.example/b/c/d;p?q", "#s", "http://a.example/b/c/d;p?q"},
        {"DotDot", "http://a.example/b/c/d;p?q", "..", "http://a.example/b/"},
        {"UnsafeBytes", "http://a.example/f", "/a b/\xc3\xbc?x\ty",
         "http://a.example/a%20b/%C3%BC?x%09y"},
        {"OtherScheme", "http://a.example/f", "ftp://b.example/f",
         "The server redirected to an address KORU cannot use: ftp://b.example/f."},
        {"NoAuthority", "http://a.example/f", "https:/f",
         "The server redirected to an address KORU cannot use: https:/f."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const qsizetype pathStart = row.base.indexOf('/', row.base.indexOf("://") + 3);
        const ServerAddress base = Server(row.base.left(pathStart));
        const ServerAddress::Target target = base.Resolve(row.base.mid(pathStart), row.reference);
        EXPECT_EQ(target.problem.isEmpty() ? target.server.Url(target.path) : target.problem,
                  row.expected);
    }
}

TEST(RedirectPolicyTest, FollowsUpToFiveHopsNeverInALoopOrDownToHttp) {
    const struct {
        const char* name;
        QByteArray start;
        QList<QByteArray> locations;
        QByteArray outcome; // where the fetch ends up, or the last reason
    } rows[] = {
        {"FiveHops", "http://a.example/0", {"/1", "/2", "/3", "/4", "/5"}, "http://a.example/5"},
        {"SixHops",
         "http://a.example/0",
         {"/1", "/2", "/3", "/4", "/5", "/6"},
         "The server redirected more than 5 times; the last address was http://a.example/5."},
        {"Loop",
         "https://a.example/f",
         {"/g", "https://A.example:443/f"},
         "The server redirects in a loop; the last address was https://a.example/g."},
        {"HttpsToHttp",
         "https://a.example/f",
         {"http://a.example/f"},
         "The server redirected to an insecure address."},
        {"NoLocation",
         "http://a.example/f",
         {" "},
         "The server redirected without saying where to."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const qsizetype pathStart = row.start.indexOf('/', row.start.indexOf("://") + 3);
        RedirectPolicy policy(Server(row.start.left(pathStart)), row.start.mid(pathStart));
        QByteArray reason;
        for (const QByteArray& location : row.locations) {
            reason = policy.Follow(location);
            if (!reason.isEmpty())
                break;
        }
        EXPECT_EQ(reason.isEmpty() ? policy.Url() : reason, row.outcome);
    }
    for (const int status : {301, 302, 303, 307, 308})
        EXPECT_TRUE(RedirectPolicy::IsRedirect(status)) << status;
    EXPECT_FALSE(RedirectPolicy::IsRedirect(304));
}

} // namespace
