#include "update/net/UriSyntax.h"

#include <cctype>

namespace UriSyntax {

bool IsSchemeName(const QByteArray& text) {
    if (text.isEmpty() || !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    for (const char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return true;
}

int PortNumber(const QByteArray& text) {
    if (text.isEmpty() || text.size() > 5)
        return 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return 0;
    }
    const int port = text.toInt();
    return port <= 65535 ? port : 0;
}

} // namespace UriSyntax
