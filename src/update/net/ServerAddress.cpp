#include "update/net/ServerAddress.h"

#include "update/net/UriSyntax.h"

#include <cctype>
#include <cstring>
#include <optional>

namespace {

using UriSyntax::IsSchemeName;
using UriSyntax::PortNumber;

// Letters, digits, dots and hyphens, neither first nor last a dot or hyphen:
// the same rule the build applies to the built-in server.
bool IsHostName(const QByteArray& host) {
    if (host.isEmpty())
        return false;
    for (const char c : host) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-')
            return false;
    }
    return std::isalnum(static_cast<unsigned char>(host.front())) &&
           std::isalnum(static_cast<unsigned char>(host.back()));
}

qsizetype FirstOf(const QByteArray& text, const char* characters, qsizetype from = 0) {
    for (qsizetype at = from; at < text.size(); ++at) {
        if (std::strchr(characters, text[at]) != nullptr)
            return at;
    }
    return text.size();
}

void RemoveLastSegment(QByteArray& output) {
    const qsizetype slash = output.lastIndexOf('/');
    output.truncate(slash < 0 ? 0 : slash);
}

// RFC 3986, section 5.2.4.
QByteArray RemoveDotSegments(QByteArray input) {
    QByteArray output;
    while (!input.isEmpty()) {
        if (input.startsWith("../")) {
            input.remove(0, 3);
        } else if (input.startsWith("./") || input.startsWith("/./")) {
            input.remove(0, 2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.startsWith("/../")) {
            input.remove(0, 3);
            RemoveLastSegment(output);
        } else if (input == "/..") {
            input = "/";
            RemoveLastSegment(output);
        } else if (input == "." || input == "..") {
            input.clear();
        } else {
            const qsizetype end = input.indexOf('/', input.startsWith('/') ? 1 : 0);
            const qsizetype length = end < 0 ? input.size() : end;
            output += input.left(length);
            input.remove(0, length);
        }
    }
    return output;
}

// Spaces, controls and bytes beyond ASCII percent-encoded, as browsers
// send them: a request line takes none of them raw.
QByteArray EncodeUnsafe(const QByteArray& target) {
    QByteArray encoded;
    for (const char c : target) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > ' ' && byte < 0x7f)
            encoded += c;
        else
            encoded += '%' + QByteArray::number(byte, 16).rightJustified(2, '0').toUpper();
    }
    return encoded;
}

// The components of a URI reference (RFC 3986, appendix B), without its fragment.
struct Reference {
    std::optional<QByteArray> scheme;
    std::optional<QByteArray> authority;
    QByteArray path;
    std::optional<QByteArray> query;
};

Reference Split(QByteArray text) {
    Reference pieces;
    text.truncate(FirstOf(text, "#"));
    const qsizetype colon = text.indexOf(':');
    if (colon > 0 && colon < FirstOf(text, "/?") && IsSchemeName(text.left(colon))) {
        pieces.scheme = text.left(colon).toLower();
        text.remove(0, colon + 1);
    }
    if (text.startsWith("//")) {
        const qsizetype end = FirstOf(text, "/?", 2);
        pieces.authority = text.mid(2, end - 2);
        text.remove(0, end);
    }
    const qsizetype question = text.indexOf('?');
    if (question >= 0) {
        pieces.query = text.mid(question + 1);
        text.truncate(question);
    }
    pieces.path = text;
    return pieces;
}

} // namespace

ServerAddress::ServerAddress(Scheme scheme, QByteArray host, int port)
    : scheme_(scheme), host_(std::move(host)), port_(port) {}

ServerAddress ServerAddress::Parse(const QByteArray& text, QByteArray& problem) {
    QByteArray rest = text.trimmed();
    if (rest.isEmpty()) {
        problem = "No server address is given.";
        return {};
    }
    const QByteArray named = "The server address " + rest;
    Scheme scheme = Scheme::Http;
    const qsizetype separator = rest.indexOf("://");
    if (separator >= 0) {
        const QByteArray name = rest.left(separator).toLower();
        if (name == "https") {
            scheme = Scheme::Https;
        } else if (name != "http") {
            problem = named + " uses " + name +
                      "://, which KORU does not support (only http:// and https://).";
            return {};
        }
        rest.remove(0, separator + 3);
    }
    if (rest.endsWith('/'))
        rest.chop(1);
    if (FirstOf(rest, "/?#") < rest.size()) {
        problem = named + " names a path; give only the host and port.";
        return {};
    }
    const ServerAddress address = ParseAuthority(scheme, rest);
    if (!address.valid())
        problem =
            named + (address.host_.isEmpty() ? " names no valid host." : " has no valid port.");
    return address;
}

QList<ServerAddress> ServerAddress::ParseList(const QByteArray& text, QByteArray& problem) {
    const QList<QByteArray> entries = text.split(',');
    QList<ServerAddress> servers;
    for (const QByteArray& entry : entries) {
        if (entries.size() > 1 && entry.trimmed().isEmpty()) {
            problem = "The server list " + text.trimmed() + " has an empty entry.";
            return {};
        }
        servers.append(Parse(entry, problem));
        if (!servers.back().valid())
            return {};
    }
    return servers;
}

// Invalid with the host when only the port is wrong, without it when the host is.
ServerAddress ServerAddress::ParseAuthority(Scheme scheme, const QByteArray& authority) {
    const qsizetype colon = authority.indexOf(':');
    const QByteArray host = colon < 0 ? authority : authority.left(colon);
    if (!IsHostName(host))
        return {};
    const int port = colon < 0 ? DefaultPort(scheme) : PortNumber(authority.mid(colon + 1));
    return ServerAddress(scheme, host, port);
}

QByteArray ServerAddress::HostHeader() const {
    return port_ == DefaultPort(scheme_) ? host_ : host_ + ':' + QByteArray::number(port_);
}

QByteArray ServerAddress::Url(const QByteArray& path) const {
    return SchemeName() + "://" + HostHeader() + path;
}

ServerAddress::Target ServerAddress::Resolve(const QByteArray& path,
                                             const QByteArray& reference) const {
    const Reference relative = Split(reference.trimmed());
    const Reference base = Split(path);
    Target target{*this, {}, {}};
    std::optional<QByteArray> query = relative.query;
    if (relative.scheme || relative.authority) {
        Scheme scheme = scheme_;
        if (relative.scheme)
            scheme = *relative.scheme == "https" ? Scheme::Https : Scheme::Http;
        const bool usable =
            relative.authority &&
            (!relative.scheme || *relative.scheme == "https" || *relative.scheme == "http");
        target.server = usable ? ParseAuthority(scheme, *relative.authority) : ServerAddress();
        target.path = RemoveDotSegments(relative.path);
    } else if (relative.path.isEmpty()) {
        target.path = base.path;
        if (!query)
            query = base.query;
    } else if (relative.path.startsWith('/')) {
        target.path = RemoveDotSegments(relative.path);
    } else {
        const qsizetype slash = base.path.lastIndexOf('/');
        target.path = RemoveDotSegments((slash < 0 ? QByteArray("/") : base.path.left(slash + 1)) +
                                        relative.path);
    }
    if (!target.server.valid()) {
        target.problem =
            "The server redirected to an address KORU cannot use: " + reference.trimmed() + ".";
        return target;
    }
    if (!target.path.startsWith('/'))
        target.path.prepend('/');
    if (query)
        target.path += '?' + *query;
    target.path = EncodeUnsafe(target.path);
    return target;
}
