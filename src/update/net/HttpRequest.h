// The request the update client sends and the server address it is given.
// Responses are read by HttpResponseReader.
#pragma once

#include <QByteArray>

namespace HttpRequest {

// The six-line GET request, with the absolute form of the address on the
// request line; `headers` (whole lines) go before its blank line. `host` may
// carry ":port".
QByteArray RequestText(const QByteArray& host, const QByteArray& path,
                       const QByteArray& headers = {});
// The same six lines with the origin form (`GET /path`) that HTTPS servers
// and CDNs expect; `host` is the Host line's text.
QByteArray OriginRequestText(const QByteArray& host, const QByteArray& path,
                             const QByteArray& headers = {});

// The host and the port of a server address written "host" or "host:port";
// the port is 80 when none is given, 0 when the one given is not a port.
QByteArray ServerName(const QByteArray& server);
int ServerPort(const QByteArray& server);

} // namespace HttpRequest
