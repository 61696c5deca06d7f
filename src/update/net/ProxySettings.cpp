#include "update/net/ProxySettings.h"

#include "update/net/UriSyntax.h"

#include <QtGlobal>
#include <utility>

namespace {

using UriSyntax::PortNumber;

std::optional<QByteArray> FirstSet(const ProxySettings::Lookup& lookup, const char* lower,
                                   const char* upper, QByteArray& name) {
    for (const char* candidate : {lower, upper}) {
        if (std::optional<QByteArray> value = lookup(candidate)) {
            name = candidate;
            return value;
        }
    }
    return std::nullopt;
}

// Host and port text of "host", "host:port", "[v6]" or "[v6]:port".
std::pair<QByteArray, std::optional<QByteArray>> SplitHostPort(const QByteArray& authority) {
    if (authority.startsWith('[')) {
        const qsizetype close = authority.indexOf(']');
        if (close < 0)
            return {{}, std::nullopt};
        const QByteArray after = authority.mid(close + 1);
        return {authority.mid(1, close - 1),
                after.isEmpty() ? std::nullopt : std::optional(after.mid(1))};
    }
    const qsizetype colon = authority.indexOf(':');
    if (colon < 0)
        return {authority, std::nullopt};
    return {authority.left(colon), authority.mid(colon + 1)};
}

bool IsIpLiteral(const QByteArray& host) {
    if (host.contains(':'))
        return true;
    for (const char c : host) {
        if (c != '.' && (c < '0' || c > '9'))
            return false;
    }
    return host.count('.') == 3;
}

QByteArray WithoutTrailingDot(QByteArray name) {
    if (name.endsWith('.'))
        name.chop(1);
    return name;
}

// A bypass entry as compared: lower case, no "." or "*." in front, no port
// (ports are not compared: an entry bypasses the proxy for its host on any port).
QByteArray BypassEntry(QByteArray entry) {
    entry = entry.trimmed().toLower();
    if (entry.startsWith("*."))
        entry.remove(0, 2);
    else if (entry.startsWith('.'))
        entry.remove(0, 1);
    if (entry.startsWith('[') || entry.count(':') == 1)
        entry = SplitHostPort(entry).first;
    return WithoutTrailingDot(entry);
}

} // namespace

ProxySettings ProxySettings::FromEnvironment(const Lookup& lookup, ServerScheme scheme) {
    QByteArray variable;
    QByteArray unused;
    // As curl: an https server never goes through http_proxy.
    const bool https = scheme == ServerScheme::Https;
    const std::optional<QByteArray> proxy =
        FirstSet(lookup, https ? "https_proxy" : "http_proxy", https ? "HTTPS_PROXY" : "HTTP_PROXY",
                 variable);
    const std::optional<QByteArray> noProxy = FirstSet(lookup, "no_proxy", "NO_PROXY", unused);
    return FromValues(variable, proxy.value_or(QByteArray()), noProxy.value_or(QByteArray()));
}

ProxySettings ProxySettings::FromProcessEnvironment(ServerScheme scheme) {
    return FromEnvironment(
        [](const char* name) -> std::optional<QByteArray> {
            if (!qEnvironmentVariableIsSet(name))
                return std::nullopt;
            return qgetenv(name);
        },
        scheme);
}

ProxySettings ProxySettings::FromValues(const QByteArray& variable, const QByteArray& proxy,
                                        const QByteArray& noProxy) {
    ProxySettings settings;
    const QByteArray noProxyText = noProxy.trimmed();
    settings.bypassAll_ = noProxyText == "*";
    for (const QByteArray& entry : noProxyText.split(',')) {
        const QByteArray name = BypassEntry(entry);
        if (!name.isEmpty())
            settings.bypass_.append(name);
    }

    QByteArray rest = proxy.trimmed();
    settings.proxyGiven_ = !rest.isEmpty();
    if (!settings.proxyGiven_)
        return settings;
    const QByteArray where = "The proxy in " + variable;
    const qsizetype schemeEnd = rest.indexOf("://");
    if (schemeEnd >= 0 && UriSyntax::IsSchemeName(rest.left(schemeEnd))) {
        const QByteArray scheme = rest.left(schemeEnd).toLower();
        if (scheme != "http") {
            settings.problem_ = where + " uses " + scheme +
                                "://, which KORU does not support (only http:// proxies).";
            return settings;
        }
        rest.remove(0, schemeEnd + 3);
    }
    qsizetype authorityEnd = rest.size();
    for (const char end : {'/', '?', '#'}) {
        const qsizetype at = rest.indexOf(end);
        if (at >= 0 && at < authorityEnd)
            authorityEnd = at;
    }
    QByteArray authority = rest.left(authorityEnd);
    const qsizetype at = authority.lastIndexOf('@');
    if (at >= 0) {
        const QByteArray userInfo = authority.left(at);
        const qsizetype colon = userInfo.indexOf(':');
        const QByteArray user =
            QByteArray::fromPercentEncoding(colon < 0 ? userInfo : userInfo.left(colon));
        const QByteArray password =
            colon < 0 ? QByteArray() : QByteArray::fromPercentEncoding(userInfo.mid(colon + 1));
        settings.authorization_ = "Basic " + (user + ':' + password).toBase64();
        authority.remove(0, at + 1);
    }
    const auto [host, port] = SplitHostPort(authority);
    if (host.isEmpty()) {
        settings.problem_ = where + " names no host.";
        return settings;
    }
    settings.proxyHost_ = host;
    if (port) {
        settings.proxyPort_ = PortNumber(*port);
        if (settings.proxyPort_ == 0)
            settings.problem_ = where + " has no valid port.";
    }
    return settings;
}

ProxySettings::Route ProxySettings::RouteFor(const QByteArray& host, int port) const {
    if (!proxyGiven_ || Bypassed(host))
        return {{}, false, host, port, {}};
    if (!problem_.isEmpty())
        return {problem_, false, {}, 0, {}};
    return {{}, true, proxyHost_, proxyPort_, authorization_};
}

bool ProxySettings::Bypassed(const QByteArray& host) const {
    if (bypassAll_)
        return true;
    QByteArray name = host.toLower();
    if (name.startsWith('[') && name.endsWith(']'))
        name = name.mid(1, name.size() - 2);
    name = WithoutTrailingDot(name);
    const bool literal = IsIpLiteral(name);
    for (const QByteArray& entry : bypass_) {
        if (name == entry || (!literal && name.endsWith('.' + entry)))
            return true;
    }
    return false;
}
