#include "update/net/RedirectPolicy.h"

namespace {

// Host names differ in case only in how they were written.
QByteArray Key(const ServerAddress& server, const QByteArray& path) {
    return server.SchemeName() + "://" + server.HostHeader().toLower() + path;
}

} // namespace

bool RedirectPolicy::IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

RedirectPolicy::RedirectPolicy(const ServerAddress& server, const QByteArray& path)
    : current_{server, path, {}}, visited_{Key(server, path)} {}

QByteArray RedirectPolicy::Follow(const QByteArray& location) {
    if (location.trimmed().isEmpty())
        return "The server redirected without saying where to.";
    const ServerAddress::Target next = current_.server.Resolve(current_.path, location);
    if (!next.problem.isEmpty())
        return next.problem;
    if (current_.server.scheme() == ServerAddress::Scheme::Https &&
        next.server.scheme() == ServerAddress::Scheme::Http)
        return "The server redirected to an insecure address.";
    const QByteArray key = Key(next.server, next.path);
    if (visited_.contains(key))
        return "The server redirects in a loop; the last address was " + Url() + ".";
    if (hops() == maxHops)
        return "The server redirected more than " + QByteArray::number(maxHops) +
               " times; the last address was " + Url() + ".";
    current_ = next;
    visited_.append(key);
    return {};
}
