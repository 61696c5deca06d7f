#include "update/HttpResponse.h"

#include <QList>

namespace HttpResponse {

namespace {

constexpr char contentLengthName[] = "content-length: ";

} // namespace

QByteArray RequestText(const QByteArray& host, const QByteArray& path) {
    return "GET http://" + host + path + " HTTP/1.1\r\n" + "Host: " + host + "\r\n" +
           "Accept: */*\r\n" + "Accept-Language: en\r\n" + "Connection: Keep-Alive\r\n" + "\r\n";
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

qsizetype HeaderEnd(const QByteArray& response) {
    return response.indexOf("\r\n\r\n") + 1;
}

std::int64_t ContentLength(const QByteArray& response) {
    // Header names compare without case; only the header block is searched,
    // so a body that mentions the header cannot be mistaken for it.
    const qsizetype end = HeaderEnd(response);
    const QByteArray head = (end > 0 ? response.left(end) : response).toLower();
    const qsizetype at = head.indexOf(contentLengthName);
    if (at < 0)
        return 0;
    qsizetype i = at + qsizetype(sizeof contentLengthName) - 1;
    while (i < head.size() && head[i] == ' ')
        ++i;
    std::int64_t length = 0;
    constexpr std::int64_t limit = std::int64_t(1) << 50; // far beyond any response we keep
    for (; i < head.size() && head[i] >= '0' && head[i] <= '9'; ++i) {
        length = length * 10 + (head[i] - '0');
        if (length > limit)
            return limit;
    }
    return length;
}

std::int64_t ExpectedLength(const QByteArray& response) {
    const qsizetype end = HeaderEnd(response);
    if (end == 0)
        return 0;
    return end + ContentLength(response) + 3;
}

QByteArray StatusLine(const QByteArray& response) {
    const qsizetype end = response.indexOf("\r\n");
    return end < 0 ? response : response.left(end);
}

int StatusCode(const QByteArray& response) {
    const QList<QByteArray> parts = StatusLine(response).split(' ');
    if (parts.size() < 2 || !parts[0].startsWith("HTTP/") || parts[1].size() != 3)
        return 0;
    bool ok = false;
    const int code = parts[1].toInt(&ok);
    return ok ? code : 0;
}

QByteArray Body(const QByteArray& response) {
    const std::int64_t length = ContentLength(response);
    if (length >= response.size())
        return response;
    return response.right(qsizetype(length));
}

bool ContainsNotFound(const QByteArray& body) {
    return body.toLower().contains("404 not found");
}

QByteArray SevenDigits(std::int64_t n) {
    return QByteArray::number(n % 10000000).rightJustified(7, '0');
}

} // namespace HttpResponse
