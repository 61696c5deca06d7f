#include "update/net/HttpRequest.h"

namespace HttpRequest {

namespace {

QByteArray Request(const QByteArray& target, const QByteArray& host, const QByteArray& headers) {
    return "GET " + target + " HTTP/1.1\r\n" + "Host: " + host + "\r\n" + "Accept: */*\r\n" +
           "Accept-Language: en\r\n" + "Connection: Keep-Alive\r\n" + headers + "\r\n";
}

} // namespace

QByteArray RequestText(const QByteArray& host, const QByteArray& path, const QByteArray& headers) {
    return Request("http://" + host + path, host, headers);
}

QByteArray OriginRequestText(const QByteArray& host, const QByteArray& path,
                             const QByteArray& headers) {
    return Request(path, host, headers);
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

} // namespace HttpRequest
