// An update server as the user names it: `https://host[:port]`,
// `http://host[:port]` or a bare `host[:port]` (plain HTTP), alone or as a
// comma-separated list of mirrors. Also where a redirect's Location leads
// from an address on a server (RFC 3986, section 5.2).
#pragma once

#include <QByteArray>
#include <QList>

class ServerAddress {
public:
    enum class Scheme { Http, Https };

    // A server and the request target (path and query) on it.
    struct Target;

    ServerAddress() = default;

    // One server; `problem` says why the text names none (then the address is not valid).
    static ServerAddress Parse(const QByteArray& text, QByteArray& problem);
    // The mirrors in the order written; empty with `problem` when any entry is not a server.
    static QList<ServerAddress> ParseList(const QByteArray& text, QByteArray& problem);

    bool valid() const { return port_ != 0; }
    Scheme scheme() const { return scheme_; }
    QByteArray SchemeName() const { return scheme_ == Scheme::Https ? "https" : "http"; }
    const QByteArray& host() const { return host_; }
    int port() const { return port_; }
    static int DefaultPort(Scheme scheme) { return scheme == Scheme::Https ? 443 : 80; }
    // The Host header's text: the host, with the port when it is not the scheme's own.
    QByteArray HostHeader() const;
    // The whole address of `path` on this server, for failure reasons.
    QByteArray Url(const QByteArray& path) const;

    // Where `reference` (a Location header) leads from `path` on this server:
    // absolute, scheme-relative, absolute-path or relative, with dot segments
    // removed and any fragment dropped. The target's problem says why it leads
    // nowhere KORU can go.
    Target Resolve(const QByteArray& path, const QByteArray& reference) const;

    friend bool operator==(const ServerAddress&, const ServerAddress&) = default;

private:
    ServerAddress(Scheme scheme, QByteArray host, int port);
    static ServerAddress ParseAuthority(Scheme scheme, const QByteArray& authority);

    Scheme scheme_ = Scheme::Http;
    QByteArray host_;
    int port_ = 0;
};

struct ServerAddress::Target {
    ServerAddress server;
    QByteArray path; // "/..." with its query
    QByteArray problem;
};
