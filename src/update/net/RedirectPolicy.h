// Which redirects a fetch follows: 301, 302, 303, 307 and 308, at most five
// hops, never in a loop and never from https down to plain http. It keeps
// the address the fetch is at; the path the fetch was asked for stays the
// caller's (progress and archive rules go by that one).
#pragma once

#include "update/net/ServerAddress.h"

#include <QByteArray>
#include <QList>

class RedirectPolicy {
public:
    static constexpr int maxHops = 5;

    static bool IsRedirect(int status);

    RedirectPolicy(const ServerAddress& server, const QByteArray& path);

    // Moves to where `location` leads from the current address; answers why
    // the fetch cannot follow it (and stays where it is), or an empty text.
    QByteArray Follow(const QByteArray& location);

    const ServerAddress& server() const { return current_.server; }
    const QByteArray& path() const { return current_.path; }
    // The current address in full, for reasons that name where a fetch failed.
    QByteArray Url() const { return current_.server.Url(current_.path); }
    int hops() const { return static_cast<int>(visited_.size()) - 1; }

private:
    ServerAddress::Target current_;
    QList<QByteArray> visited_; // each address asked
};
