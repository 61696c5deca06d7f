// The update client's side of the HTTP exchange that needs no state: the
// request it sends, the server address it is given, the not-found words and
// the progress digits. Responses are read by HttpResponseReader.
#pragma once

#include <QByteArray>
#include <cstdint>

namespace HttpResponse {

// The six-line GET request, with the absolute form of the address on the
// request line; `headers` (whole lines) go before its blank line. `host` may
// carry ":port".
QByteArray RequestText(const QByteArray& host, const QByteArray& path,
                       const QByteArray& headers = {});

// The host and the port of a server address written "host" or "host:port";
// the port is 80 when none is given, 0 when the one given is not a port.
QByteArray ServerName(const QByteArray& server);
int ServerPort(const QByteArray& server);

// True when the text holds "404 not found" in any mix of case.
bool ContainsNotFound(const char* text, qsizetype size);
inline bool ContainsNotFound(const QByteArray& text) {
    return ContainsNotFound(text.constData(), text.size());
}

// The seven progress digits: the low seven digits of n, zero-padded.
QByteArray SevenDigits(std::int64_t n);

} // namespace HttpResponse
