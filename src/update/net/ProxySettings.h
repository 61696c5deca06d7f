// The HTTP proxy settings of the environment, read as curl reads them:
// http_proxy (or HTTP_PROXY) names the proxy for http servers, https_proxy
// (or HTTPS_PROXY) the one for https servers, reached through a CONNECT
// tunnel; no_proxy (or NO_PROXY) the hosts reached directly. The lower-case
// name wins when it is set.
#pragma once

#include <QByteArray>
#include <QList>
#include <functional>
#include <optional>

class ProxySettings {
public:
    // The value of an environment variable, or nothing when it is not set.
    using Lookup = std::function<std::optional<QByteArray>(const char* name)>;

    // Where a transfer connects. The request line and Host stay the server's.
    struct Route {
        // The proxy setting cannot be used: nothing should connect.
        QByteArray problem;
        bool viaProxy = false;
        QByteArray host;
        int port = 0;
        // "Basic …" for a Proxy-Authorization header; empty without credentials.
        QByteArray authorization;
    };

    static constexpr int defaultProxyPort = 1080;

    ProxySettings() = default;

    enum class ServerScheme { Http, Https };

    // The settings for servers of `scheme`.
    static ProxySettings FromEnvironment(const Lookup& lookup,
                                         ServerScheme scheme = ServerScheme::Http);
    static ProxySettings FromProcessEnvironment(ServerScheme scheme = ServerScheme::Http);

    // `proxy` is the value of the variable named `variable` (named in
    // problems, never the value: it may hold a password); `noProxy` the
    // comma-separated bypass list. Any bytes are accepted.
    static ProxySettings FromValues(const QByteArray& variable, const QByteArray& proxy,
                                    const QByteArray& noProxy);

    // The route to the server `host` on `port`: direct when no proxy is set
    // or the host is in the bypass list, else the proxy (or a problem when
    // the proxy setting is unusable: never a silent direct connection).
    Route RouteFor(const QByteArray& host, int port) const;

private:
    bool Bypassed(const QByteArray& host) const;

    bool proxyGiven_ = false;
    QByteArray problem_;
    QByteArray proxyHost_;
    int proxyPort_ = defaultProxyPort;
    QByteArray authorization_;
    bool bypassAll_ = false;
    QList<QByteArray> bypass_;
};
