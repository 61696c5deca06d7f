// The pieces of URI syntax (RFC 3986) that server and proxy addresses share.
#pragma once

#include <QByteArray>

namespace UriSyntax {

// A letter, then letters, digits, "+", "-" or ".".
bool IsSchemeName(const QByteArray& text);

// 1 to 65535 in plain digits, else 0.
int PortNumber(const QByteArray& text);

} // namespace UriSyntax
