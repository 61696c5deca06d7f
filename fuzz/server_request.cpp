// fuzz-links: koru_responder
// The sample server's request parsing: arbitrary bytes as one connection's
// incoming data, arriving in pieces of a size the first byte picks, taken
// request by request as the server does, over a tiny tree with links that
// point out of it. No reply may name a file outside the root or a part
// beyond a file's end, and unanswered bytes stay bounded.
#include "FuzzCheck.h"
#include "server/FileResponder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

struct Tree {
    QTemporaryDir dir;
    QString root;

    Tree() : root(dir.path() + QStringLiteral("/root")) {
        QDir(dir.path()).mkpath(QStringLiteral("root/files/koru"));
        QDir(dir.path()).mkpath(QStringLiteral("outside"));
        Write("root/files/koru/vanto_ver.txt", "VANTO 02.14");
        Write("root/files/vanto.zip", QByteArray(300, 'z'));
        Write("root/files/empty.txt", "");
        Write("outside/secret.txt", "secret");
        QFile::link(dir.filePath(QStringLiteral("outside/secret.txt")),
                    dir.filePath(QStringLiteral("root/files/link.txt")));
        QFile::link(dir.filePath(QStringLiteral("outside")),
                    dir.filePath(QStringLiteral("root/files/out")));
        root = QFileInfo(root).canonicalFilePath();
    }

    void Write(const char* name, const QByteArray& bytes) const {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        if (!file.open(QIODevice::WriteOnly))
            std::abort();
        file.write(bytes);
    }
};

void CheckReply(const FileResponder::Reply& reply, const QString& root) {
    Check(reply.head.startsWith("HTTP/1.1 ") && reply.head.contains("\r\n\r\n"));
    if (!reply.file)
        return;
    // The file is opened by descriptor and carries no name: ask the system.
    const QString path =
        QFileInfo(QStringLiteral("/proc/self/fd/%1").arg(reply.file->handle())).canonicalFilePath();
    Check(path.startsWith(root + u'/'));
    // A multipart reply's length counts every section's text and part.
    FileResponder::Reply part = reply;
    qint64 body = -(reply.head.indexOf("\r\n\r\n") + 4);
    do {
        Check(part.offset >= 0 && part.length >= 0 &&
              part.offset + part.length <= reply.file->size());
        body += part.head.size() + part.length;
    } while (part.NextSection());
    Check(reply.head.contains("\r\nContent-Length: " + QByteArray::number(body) + "\r\n"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Tree tree;
    static const FileResponder responder(tree.root);
    if (size == 0)
        return 0;
    const qsizetype piece = data[0] % 64 + 1;
    const char* input = reinterpret_cast<const char*>(data + 1);
    const auto length = qsizetype(size - 1);
    QByteArray pending;
    pending.reserve(length);
    for (qsizetype at = 0; at < length; at += piece) {
        pending.append(input + at, std::min(piece, length - at));
        while (const auto reply = responder.Take(pending)) {
            CheckReply(*reply, tree.root);
            if (!reply->keepAlive)
                return 0; // the connection ends here
        }
        // A head longer than the limit is refused, a body skipped only when short.
        Check(pending.size() <= 2 * FileResponder::maxHeadSize + 4 + piece);
    }
    return 0;
}
