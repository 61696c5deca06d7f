#include "update/trust/UpdateKey.h"

#include "update/trust/MinisignText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef KORU_UPDATE_PUBLIC_KEY
#define KORU_UPDATE_PUBLIC_KEY ""
#endif

namespace {
constexpr qsizetype keyBytes = 2 + MinisignText::keyIdSize + UpdateKey::publicKeySize;
// A key file is about a hundred bytes; a large file is not one.
constexpr qint64 maximumFileSize = 4096;
constexpr char fileWhere[] = "The update key file files/koru/update.pub";
} // namespace

UpdateKey UpdateKey::FromFileText(const QByteArray& text) {
    if (text.size() > maximumFileSize)
        return Refused(fileWhere, "is too large for a key file");
    const QList<QByteArray> lines = MinisignText::Lines(text);
    if (lines.size() != 2)
        return Refused(fileWhere, "must have two lines, a comment and the key");
    if (!MinisignText::AfterPrefix(lines[0], MinisignText::untrustedPrefix))
        return Refused(fileWhere, "does not start with an untrusted comment");
    return FromLine(lines[1], fileWhere);
}

UpdateKey UpdateKey::FromKeyLine(const QByteArray& line) {
    return FromLine(line, "The built-in update key");
}

UpdateKey UpdateKey::ForVantoFolder(const QString& vantoFolder, const QByteArray& builtInKeyLine) {
    const QString path = QDir(vantoFolder).filePath(QString::fromLatin1(relativePath));
    if (QFileInfo::exists(path)) {
        // Without O_NONBLOCK a FIFO put there would hold the open for ever.
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return Refused(fileWhere, "cannot be read (" + qt_error_string(errno).toUtf8() + ')');
        QFile file;
        file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        struct stat status {};
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
            return Refused(fileWhere, "cannot be read (it is not a regular file)");
        return FromFileText(file.read(maximumFileSize + 1));
    }
    if (!builtInKeyLine.isEmpty())
        return FromKeyLine(builtInKeyLine);
    return {};
}

QByteArray UpdateKey::BuiltInKeyLine() {
    return KORU_UPDATE_PUBLIC_KEY;
}

UpdateKey UpdateKey::Refused(const QByteArray& where, const QByteArray& why) {
    UpdateKey key;
    key.present_ = true;
    key.problem_ = where + ' ' + why + '.';
    return key;
}

UpdateKey UpdateKey::FromLine(const QByteArray& line, const QByteArray& where) {
    const std::optional<QByteArray> bytes = MinisignText::DecodeBase64(line, keyBytes);
    if (!bytes)
        return Refused(where, "is not a minisign public key (base64 of 42 bytes)");
    if (!bytes->startsWith("Ed"))
        return Refused(where, "is not an Ed25519 minisign key");
    UpdateKey key;
    key.present_ = true;
    key.keyId_ = bytes->mid(2, MinisignText::keyIdSize);
    key.publicKey_ = bytes->mid(2 + MinisignText::keyIdSize);
    return key;
}
