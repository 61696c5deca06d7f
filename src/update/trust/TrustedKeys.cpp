#include "update/trust/TrustedKeys.h"

#include "update/trust/MinisignText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

TrustedKeys TrustedKeys::FromFileText(const QByteArray& text, const QByteArray& where) {
    if (text.size() > maximumSize)
        return Refused(where + " is larger than 16 KiB.");
    const QList<QByteArray> lines = MinisignText::Lines(text);
    if (lines.size() < 2)
        return Refused(where + " must have two lines, a comment and the key.");
    if (lines.size() % 2 != 0)
        return Refused(where + " must hold line pairs, a comment and a key each.");
    TrustedKeys keys;
    keys.present_ = true;
    for (qsizetype i = 0; i < lines.size(); i += 2) {
        if (!MinisignText::AfterPrefix(lines[i], MinisignText::untrustedPrefix))
            return Refused(where + ": line " + QByteArray::number(i + 1) +
                           " is not an untrusted comment.");
        UpdateKey key = UpdateKey::FromLine(lines[i + 1], where);
        if (!key.Usable())
            return Refused(key.Problem());
        keys.keys_.append(std::move(key));
    }
    return keys;
}

TrustedKeys TrustedKeys::FromKeyLines(const QByteArray& lines, const QByteArray& where) {
    if (lines.size() > maximumSize)
        return Refused(where + " is larger than 16 KiB.");
    TrustedKeys keys;
    keys.present_ = true;
    for (const QByteArray& line : lines.simplified().split(' ')) {
        UpdateKey key = UpdateKey::FromLine(line, where);
        if (!key.Usable())
            return Refused(key.Problem());
        keys.keys_.append(std::move(key));
    }
    return keys;
}

TrustedKeys TrustedKeys::ForVantoFolder(const QString& vantoFolder,
                                        const QByteArray& builtInKeyLines) {
    const QString path = QDir(vantoFolder).filePath(QString::fromLatin1(UpdateKey::relativePath));
    if (QFileInfo::exists(path)) {
        const QByteArray where = UpdateKey::fileWhere;
        // Without O_NONBLOCK a FIFO put there would hold the open for ever.
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return Refused(where + " cannot be read (" + qt_error_string(errno).toUtf8() + ").");
        QFile file;
        file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        struct stat status {};
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
            return Refused(where + " cannot be read (it is not a regular file).");
        return FromFileText(file.read(maximumSize + 1), where);
    }
    if (!builtInKeyLines.trimmed().isEmpty())
        return FromKeyLines(builtInKeyLines, "The built-in update key");
    return {};
}

const UpdateKey* TrustedKeys::Find(const QByteArray& keyId) const {
    for (const UpdateKey& key : keys_) {
        if (key.KeyId() == keyId)
            return &key;
    }
    return nullptr;
}

QByteArray TrustedKeys::KeyLines() const {
    QByteArray lines;
    for (const UpdateKey& key : keys_)
        lines += ("Ed" + key.KeyId() + key.PublicKey()).toBase64() + '\n';
    return lines;
}

QByteArray TrustedKeys::FileText() const {
    QByteArray text;
    const QList<QByteArray> lines = KeyLines().split('\n');
    for (qsizetype i = 0; i < keys_.size(); ++i)
        text += QByteArray(MinisignText::untrustedPrefix) + "minisign public key " +
                MinisignText::KeyIdText(keys_[i].KeyId()) + '\n' + lines[i] + '\n';
    return text;
}

TrustedKeys TrustedKeys::Refused(const QByteArray& problem) {
    TrustedKeys keys;
    keys.present_ = true;
    keys.problem_ = problem;
    return keys;
}
