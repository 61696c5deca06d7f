// The update client's HTTP exchange as pure functions over byte text: the
// request it sends and what it reads from a response gathered so far. No I/O,
// so every rule can be tested by feeding pieces.
#pragma once

#include <QByteArray>
#include <cstdint>

namespace HttpResponse {

// The six-line GET request, with the absolute form of the address on the
// request line. `host` may carry ":port".
QByteArray RequestText(const QByteArray& host, const QByteArray& path);

// The host and the port of a server address written "host" or "host:port";
// the port is 80 when none is given, 0 when the one given is not a port.
QByteArray ServerName(const QByteArray& server);
int ServerPort(const QByteArray& server);

// 1-based position of the first CR LF CR LF, or 0 while the header block is incomplete.
qsizetype HeaderEnd(const QByteArray& response);

// The number after "Content-length: " (any case) on its line: leading blanks
// skipped, digits up to the first other character; 0 when the header is absent.
std::int64_t ContentLength(const QByteArray& response);

// Total length the response will have: header block with its blank line plus
// the announced body. 0 until the whole header block has arrived, so that a
// header split over two arrivals is never judged from its first half.
std::int64_t ExpectedLength(const QByteArray& response);

// The status line without its CR LF, and its numeric code (0 when unreadable).
QByteArray StatusLine(const QByteArray& response);
int StatusCode(const QByteArray& response);

// The body: the last Content-Length characters of a complete response.
QByteArray Body(const QByteArray& response);

// True when the text holds "404 not found" in any mix of case.
bool ContainsNotFound(const QByteArray& body);

// The seven progress digits: the low seven digits of n, zero-padded.
QByteArray SevenDigits(std::int64_t n);

} // namespace HttpResponse
