#include "server/FileResponder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

constexpr qsizetype maxHeadSize = 16 * 1024;

QByteArray ContentType(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"zip")
        return "application/zip";
    if (suffix == u"txt")
        return "text/plain";
    if (suffix == u"gif")
        return "image/gif";
    return "application/octet-stream";
}

QByteArray HeaderValue(const QList<QByteArray>& lines, const QByteArray& name) {
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0 && lines[i].left(colon).trimmed().toLower() == name)
            return lines[i].mid(colon + 1).trimmed();
    }
    return {};
}

QByteArray Headers(int code, const char* reason, const QByteArray& type, qsizetype length,
                   bool keepAlive) {
    return "HTTP/1.1 " + QByteArray::number(code) + ' ' + reason + "\r\n" +
           "Server: koru-sample-server\r\n" + "Content-Type: " + type + "\r\n" +
           "Content-Length: " + QByteArray::number(length) + "\r\n" +
           "Connection: " + (keepAlive ? "keep-alive" : "close") + "\r\n\r\n";
}

} // namespace

FileResponder::FileResponder(const QString& root) : root_(QFileInfo(root).canonicalFilePath()) {}

QList<FileResponder::Reply> FileResponder::Take(QByteArray& pending) const {
    QList<Reply> replies;
    while (true) {
        const qsizetype end = pending.indexOf("\r\n\r\n");
        if (end < 0) {
            if (pending.size() > maxHeadSize) {
                replies.append({Status(400, "Bad Request", false, false), false});
                pending.clear();
            }
            return replies;
        }
        const QByteArray head = pending.left(end);
        // A GET carries no body; should a client send one anyway, skip it.
        qsizetype consumed = end + 4;
        const QByteArray length = HeaderValue(head.split('\n'), "content-length");
        bool ok = false;
        const qsizetype bodySize = length.toLongLong(&ok);
        if (ok && bodySize > 0) {
            if (pending.size() < consumed + bodySize)
                return replies;
            consumed += bodySize;
        }
        pending.remove(0, consumed);
        replies.append(Answer(head));
        if (!replies.last().keepAlive) {
            pending.clear();
            return replies;
        }
    }
}

FileResponder::Reply FileResponder::Answer(const QByteArray& head) const {
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines)
        line = line.trimmed();
    const QList<QByteArray> request = lines.value(0).split(' ');
    if (request.size() != 3 || !request[2].startsWith("HTTP/1."))
        return {Status(400, "Bad Request", false, false), false};

    const QByteArray method = request[0];
    const QByteArray connection = HeaderValue(lines, "connection").toLower();
    const bool keepAlive =
        request[2] == "HTTP/1.1" ? connection != "close" : connection == "keep-alive";
    const bool headOnly = method == "HEAD";
    if (method != "GET" && !headOnly)
        return {Status(405, "Method Not Allowed", keepAlive, false), keepAlive};

    const QString path = Resolve(request[1]);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {Status(404, "Not Found", keepAlive, headOnly), keepAlive};
    const QByteArray body = file.readAll();
    QByteArray bytes = Headers(200, "OK", ContentType(path), body.size(), keepAlive);
    if (!headOnly)
        bytes += body;
    return {bytes, keepAlive};
}

QByteArray FileResponder::Status(int code, const char* reason, bool keepAlive,
                                 bool headOnly) const {
    const QByteArray page = "<html><head><title>" + QByteArray::number(code) + ' ' + reason +
                            "</title></head><body><h1>" + QByteArray::number(code) + ' ' + reason +
                            "</h1></body></html>\r\n";
    QByteArray bytes = Headers(code, reason, "text/html", page.size(), keepAlive);
    if (!headOnly)
        bytes += page;
    return bytes;
}

QString FileResponder::Resolve(const QByteArray& target) const {
    // Absolute form ("http://host/path") or origin form ("/path"); the query is ignored.
    QByteArray rawPath = target;
    if (rawPath.toLower().startsWith("http://")) {
        const qsizetype slash = rawPath.indexOf('/', 7);
        rawPath = slash < 0 ? QByteArray("/") : rawPath.mid(slash);
    }
    if (!rawPath.startsWith('/') || root_.isEmpty())
        return {};
    const qsizetype query = rawPath.indexOf('?');
    if (query >= 0)
        rawPath.truncate(query);
    const QByteArray decoded = QByteArray::fromPercentEncoding(rawPath);
    if (decoded.contains('\0') || decoded.contains('\\'))
        return {};
    for (const QByteArray& segment : decoded.split('/')) {
        if (segment == "..")
            return {};
    }
    // Links inside the tree may point anywhere: judge the resolved path.
    const QFileInfo info(root_ + QFile::decodeName(decoded));
    const QString resolved = info.canonicalFilePath();
    if (resolved.isEmpty() || !info.isFile() || !resolved.startsWith(root_ + u'/'))
        return {};
    return resolved;
}
