#include "update/HttpResponse.h"

#include <cstring>

namespace HttpResponse {

QByteArray RequestText(const QByteArray& host, const QByteArray& path, const QByteArray& headers) {
    return "GET http://" + host + path + " HTTP/1.1\r\n" + "Host: " + host + "\r\n" +
           "Accept: */*\r\n" + "Accept-Language: en\r\n" + "Connection: Keep-Alive\r\n" + headers +
           "\r\n";
}

QByteArray ServerName(const QByteArray& server) {
    const qsizetype colon = server.lastIndexOf(':');
    return colon < 0 ? server : server.left(colon);
}

int ServerPort(const QByteArray& server) {
    const qsizetype colon = server.lastIndexOf(':');
    if (colon < 0)
        return 80;
    bool ok = false;
    const int port = server.mid(colon + 1).toInt(&ok);
    return ok && port > 0 && port <= 65535 ? port : 0;
}

bool ContainsNotFound(const char* text, qsizetype size) {
    // Bodies may be whole archives: no copy, and a jump from '4' to '4'.
    static constexpr char words[] = "404 not found";
    constexpr qsizetype length = qsizetype(sizeof words) - 1;
    const char* end = text + size;
    for (const char* at = text; end - at >= length;) {
        at = static_cast<const char*>(std::memchr(at, '4', size_t(end - at - length + 1)));
        if (at == nullptr)
            return false;
        if (qstrnicmp(at, words, length) == 0)
            return true;
        ++at;
    }
    return false;
}

QByteArray SevenDigits(std::int64_t n) {
    return QByteArray::number(n % 10000000).rightJustified(7, '0');
}

} // namespace HttpResponse
