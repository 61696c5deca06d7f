// One GET over TLS as the transfer engine makes it: a CSocketMaster carries
// the bytes and a TlsSession turns them into plaintext. Runs the event loop
// until the exchange ends (bounded), then closes the socket.
#pragma once

#include "update/net/TlsSession.h"

#include <QByteArray>
#include <cstdint>

struct TlsExchange {
    QByteArray response; // the plaintext that arrived
    QByteArray reason;   // the session's or the socket's
    bool closedCleanly = false;
};

// GET `path` from the TLS server `host` (checked against its certificate) at 127.0.0.1:port.
TlsExchange FetchOverTls(std::uint16_t port, const QByteArray& host, const QByteArray& path);
