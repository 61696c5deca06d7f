// One GET over TLS as the transfer engine makes it: a CSocketMaster carries
// the bytes, a TlsSession turns them into plaintext, and through a proxy a
// ProxyTunnel comes first. Runs the event loop until the exchange ends
// (bounded), then closes the socket.
#pragma once

#include "update/http/ProxyTunnel.h"
#include "update/http/TlsSession.h"

#include <QByteArray>
#include <cstdint>
#include <optional>

struct TlsExchange {
    QByteArray response; // the plaintext that arrived
    TlsSession::Failure failure = TlsSession::Failure::None;
    QByteArray reason; // the session's, the tunnel's or the socket's
    bool closedCleanly = false;
};

// GET `path` from the TLS server `host` (checked against its certificate)
// at 127.0.0.1:port, directly or through a proxy on 127.0.0.1:proxyPort.
TlsExchange FetchOverTls(std::uint16_t port, const QByteArray& host, const QByteArray& path,
                         std::optional<std::uint16_t> proxyPort = std::nullopt,
                         const QByteArray& proxyAuthorization = {});
