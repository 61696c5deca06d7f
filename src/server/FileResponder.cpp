// Request parsing and replies of the sample server: GET and HEAD of files,
// byte ranges (one, or several as multipart/byteranges) with their
// validators, and error pages.
#include "server/FileResponder.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace {

struct Status {
    int code;
    const char* reason;
};

constexpr Status Ok{200, "OK"};
constexpr Status Partial{206, "Partial Content"};
constexpr Status BadRequest{400, "Bad Request"};
constexpr Status NotFound{404, "Not Found"};
constexpr Status NotAllowed{405, "Method Not Allowed"};
constexpr Status TooLarge{413, "Payload Too Large"};
constexpr Status NotSatisfiable{416, "Range Not Satisfiable"};
constexpr Status Unavailable{503, "Service Unavailable"};

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

// The value of the first header of that name (in lower case); none when absent.
std::optional<QByteArray> Header(const QList<QByteArray>& lines, const QByteArray& name) {
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0 && lines[i].left(colon).trimmed().toLower() == name)
            return lines[i].mid(colon + 1).trimmed();
    }
    return std::nullopt;
}

qsizetype HeaderCount(const QList<QByteArray>& lines, const QByteArray& name) {
    return std::count_if(lines.begin() + 1, lines.end(), [&name](const QByteArray& line) {
        const qsizetype colon = line.indexOf(':');
        return colon > 0 && line.left(colon).trimmed().toLower() == name;
    });
}

QByteArray Head(Status status, const QByteArray& type, qint64 length, bool keepAlive,
                const QByteArray& extra = {}) {
    return "HTTP/1.1 " + QByteArray::number(status.code) + ' ' + status.reason + "\r\n" +
           "Server: koru-sample-server\r\n" + "Content-Type: " + type + "\r\n" +
           "Content-Length: " + QByteArray::number(length) + "\r\n" + extra +
           "Connection: " + (keepAlive ? "keep-alive" : "close") + "\r\n\r\n";
}

FileResponder::Reply Page(Status status, bool keepAlive, bool headOnly,
                          const QByteArray& extra = {}) {
    const QByteArray title = QByteArray::number(status.code) + ' ' + status.reason;
    const QByteArray page = "<html><head><title>" + title + "</title></head><body><h1>" + title +
                            "</h1></body></html>\r\n";
    QByteArray bytes = Head(status, "text/html", page.size(), keepAlive, extra);
    if (!headOnly)
        bytes += page;
    return {bytes, nullptr, 0, 0, keepAlive, {}};
}

// Decimal digits only; saturates instead of overflowing. -1 when there are none.
qint64 Digits(const QByteArray& text) {
    if (text.isEmpty())
        return -1;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        const int digit = c - '0';
        value = value > (std::numeric_limits<qint64>::max() - digit) / 10
                    ? std::numeric_limits<qint64>::max()
                    : value * 10 + digit;
    }
    return value;
}

struct ByteRange {
    qint64 first = 0;
    qint64 last = 0;
};

struct RangeSet {
    enum Kind { Whole, Parts, Unsatisfiable } kind = Whole;
    QList<ByteRange> parts;
};

// "bytes=" and one range or several: "N-", "N-M" or "-K" each. Anything else
// (another unit, bad syntax) gets the whole file, as a server may do. Ranges
// that start past the end are left out, and 416 when none is left; ranges
// that ask for more than the whole file together get it whole, as nginx does.
RangeSet ParseRanges(const QByteArray& value, qint64 size) {
    // An empty file has no byte to point at: it is sent whole, as nginx does.
    if (size == 0 || !value.toLower().startsWith("bytes="))
        return {};
    RangeSet set{RangeSet::Parts, {}};
    qint64 total = 0;
    for (const QByteArray& item : value.mid(6).split(',')) {
        const QByteArray range = item.trimmed();
        const qsizetype dash = range.indexOf('-');
        if (dash < 0)
            return {};
        const QByteArray left = range.left(dash).trimmed();
        const QByteArray right = range.mid(dash + 1).trimmed();
        ByteRange part;
        if (left.isEmpty()) {
            const qint64 suffix = Digits(right);
            if (suffix < 0)
                return {};
            if (suffix == 0)
                continue;
            part = {suffix >= size ? 0 : size - suffix, size - 1};
        } else {
            const qint64 first = Digits(left);
            const qint64 last = right.isEmpty() ? size - 1 : Digits(right);
            if (first < 0 || (!right.isEmpty() && (last < 0 || last < first)))
                return {};
            if (first >= size)
                continue;
            part = {first, last < size ? last : size - 1};
        }
        total += part.last - part.first + 1;
        if (total > size)
            return {};
        set.parts.append(part);
    }
    if (set.parts.isEmpty())
        return {RangeSet::Unsatisfiable, {}};
    return set;
}

QByteArray ContentRange(const ByteRange& range, qint64 size) {
    return "Content-Range: bytes " + QByteArray::number(range.first) + '-' +
           QByteArray::number(range.last) + '/' + QByteArray::number(size) + "\r\n";
}

// A boundary of 20 digits like nginx's, another for each multipart reply.
QByteArray NextBoundary() {
    static std::atomic<quint64> counter{0};
    return QByteArray::number(++counter).rightJustified(20, '0');
}

QByteArray HttpDate(const QDateTime& time) {
    return QLocale::c()
        .toString(time.toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
        .toLatin1();
}

} // namespace

FileResponder::FileResponder(const QString& root) : root_(QFileInfo(root).canonicalFilePath()) {}

std::optional<FileResponder::Reply> FileResponder::Take(QByteArray& pending) const {
    const qsizetype end = pending.indexOf("\r\n\r\n");
    if (end < 0 || end > maxHeadSize) {
        if (end < 0 && pending.size() <= maxHeadSize)
            return std::nullopt;
        pending.clear();
        return Page(BadRequest, false, false);
    }
    const QByteArray head = pending.left(end);
    const QList<QByteArray> lines = head.split('\n');
    const QByteArray method = lines.value(0).left(lines.value(0).indexOf(' '));
    qsizetype consumed = end + 4;
    // Two lengths, or a length beside chunks, frame the body two ways: one of
    // them would smuggle a request past the other, whatever the method. A
    // body on GET is allowed but meaningless: a short one is skipped once it
    // is here, anything that cannot be framed ends the connection.
    const bool bodiless = method == "GET" || method == "HEAD";
    const qsizetype lengths = HeaderCount(lines, "content-length");
    const bool chunked = Header(lines, "transfer-encoding").has_value();
    if (lengths > 1 || (chunked && (lengths > 0 || bodiless))) {
        pending.clear();
        return Page(BadRequest, false, method == "HEAD");
    }
    if (bodiless) {
        if (const auto length = Header(lines, "content-length")) {
            const qint64 body = Digits(*length);
            if (body < 0 || body > maxHeadSize) {
                pending.clear();
                return Page(body < 0 ? BadRequest : TooLarge, false, method == "HEAD");
            }
            if (pending.size() - consumed < body)
                return std::nullopt;
            consumed += body;
        }
    }
    pending.remove(0, consumed);
    Reply reply = Answer(head);
    if (!reply.keepAlive)
        pending.clear();
    return reply;
}

FileResponder::Reply FileResponder::Answer(const QByteArray& head) const {
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines)
        line = line.trimmed();
    const QList<QByteArray> request = lines.value(0).split(' ');
    if (request.size() != 3 || !request[2].startsWith("HTTP/1."))
        return Page(BadRequest, false, false);

    const QByteArray& method = request[0];
    const bool headOnly = method == "HEAD";
    // Any other method may come with a body of any size: answer at once and
    // close rather than wait for it.
    if (method != "GET" && !headOnly)
        return Page(NotAllowed, false, false, "Allow: GET, HEAD\r\n");
    const QByteArray connection = Header(lines, "connection").value_or("").toLower();
    const bool keepAlive =
        request[2] == "HTTP/1.1" ? connection != "close" : connection == "keep-alive";
    const QString path = Resolve(request[1]);
    if (path.isEmpty())
        return Page(NotFound, keepAlive, headOnly);
    return FileReply(path, lines, headOnly, keepAlive);
}

FileResponder::Reply FileResponder::FileReply(const QString& path, const QList<QByteArray>& lines,
                                              bool headOnly, bool keepAlive) const {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    // Out of descriptors the file is still there: the client should come back.
    if (fd < 0 && (errno == EMFILE || errno == ENFILE))
        return Page(Unavailable, false, headOnly, "Retry-After: 1\r\n");
    const auto file = std::make_shared<QFile>();
    if (fd < 0 ||
        !file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return Page(NotFound, keepAlive, headOnly);
    const qint64 size = file->size();
    const QDateTime modified = QFileInfo(path).lastModified();
    // The same form as nginx's: modification time and size in hex.
    const QByteArray etag = '"' + QByteArray::number(modified.toSecsSinceEpoch(), 16) + '-' +
                            QByteArray::number(size, 16) + '"';
    const QByteArray lastModified = HttpDate(modified);
    QByteArray validators =
        "Last-Modified: " + lastModified + "\r\nETag: " + etag + "\r\nAccept-Ranges: bytes\r\n";

    RangeSet ranges = ParseRanges(Header(lines, "range").value_or(""), size);
    const auto condition = Header(lines, "if-range");
    if (ranges.kind != RangeSet::Whole && condition && *condition != etag &&
        *condition != lastModified)
        ranges = {};
    if (ranges.kind == RangeSet::Unsatisfiable)
        return Page(NotSatisfiable, keepAlive, headOnly,
                    "Content-Range: bytes */" + QByteArray::number(size) + "\r\n");
    Reply reply{{}, file, 0, size, keepAlive, {}};
    Status status = Ok;
    QByteArray type = ContentType(path);
    if (ranges.kind == RangeSet::Parts && ranges.parts.size() == 1) {
        status = Partial;
        reply.offset = ranges.parts[0].first;
        reply.length = ranges.parts[0].last - ranges.parts[0].first + 1;
        validators += ContentRange(ranges.parts[0], size);
    } else if (ranges.kind == RangeSet::Parts) {
        status = Partial;
        const QByteArray boundary = NextBoundary();
        for (const ByteRange& part : ranges.parts)
            reply.more.append({"\r\n--" + boundary + "\r\nContent-Type: " + type + "\r\n" +
                                   ContentRange(part, size) + "\r\n",
                               part.first, part.last - part.first + 1});
        reply.more.append({"\r\n--" + boundary + "--\r\n", 0, 0});
        qint64 total = 0;
        for (const Section& section : reply.more)
            total += section.head.size() + section.length;
        type = "multipart/byteranges; boundary=" + boundary;
        reply.NextSection(); // the first part follows the response's head
        reply.head = Head(status, type, total, keepAlive, validators) + reply.head;
    }
    if (reply.more.isEmpty())
        reply.head = Head(status, type, reply.length, keepAlive, validators) + reply.head;
    if (headOnly) {
        reply.head.truncate(reply.head.indexOf("\r\n\r\n") + 4);
        reply.file.reset();
        reply.length = 0;
        reply.more.clear();
    }
    return reply;
}

bool FileResponder::Reply::NextSection() {
    if (more.isEmpty())
        return false;
    Section next = more.takeFirst();
    head = std::move(next.head);
    offset = next.offset;
    length = next.length;
    return true;
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
