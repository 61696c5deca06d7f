#include "update/files/KeptPart.h"

#include "platform/runtime/ReplaceFile.h"
#include "platform/runtime/RuntimeError.h"
#include "update/files/StateFolder.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char keptPrefix[] = ".koru-partial-";
constexpr char infoSuffix[] = ".info";
constexpr qint64 keptLifetimeSeconds = 7 * 24 * 60 * 60;

QByteArray Encoded(const QString& path) {
    return QFile::encodeName(path);
}

// The same archive to the same target finds the same name.
QString KeptName(const QString& target, const QByteArray& url) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(url);
    hash.addData(QByteArrayView("\n"));
    hash.addData(Encoded(QFileInfo(target).fileName()));
    return QString::fromLatin1(keptPrefix + hash.result().left(8).toHex());
}

QString InfoPath(const QString& kept) {
    return kept + QLatin1String(infoSuffix);
}

// Which part is kept, wherever it is.
QString PointerPath() {
    return StateFolder::File(QStringLiteral("kept-download"));
}

QString ReadPointer() {
    QFile file(PointerPath());
    return file.open(QIODevice::ReadOnly) ? QFile::decodeName(file.readAll()) : QString();
}

void ClearPointer(const QString& kept) {
    if (ReadPointer() == kept)
        QFile::remove(PointerPath());
}

void WritePointer(const QString& kept) {
    const QString pointer = PointerPath();
    if (pointer.isEmpty() || !QDir().mkpath(QFileInfo(pointer).absolutePath()))
        return;
    try {
        ReplaceFile(pointer, Encoded(kept));
    } catch (const RuntimeError&) {
        // Only the clean-up of another target's part depends on it.
    }
}

// Removes a kept part and its validator unless a KORU is resuming it.
void RemoveKept(const QString& kept) {
    const QByteArray path = Encoded(kept);
    bool held = false;
    const int fd = KeptPart::OpenAndTryLock(path, held);
    if (held) {
        ::close(fd);
        return;
    }
    ::unlink(path.constData());
    QFile::remove(InfoPath(kept));
    if (fd >= 0)
        ::close(fd);
    ClearPointer(kept);
}

// ".koru-partial-" and sixteen hex digits: the only names a kept part has.
bool IsKeptName(const QString& fileName) {
    constexpr qsizetype prefixSize = qsizetype(sizeof keptPrefix) - 1;
    if (fileName.size() != prefixSize + 16 || !fileName.startsWith(QLatin1String(keptPrefix)))
        return false;
    return std::all_of(fileName.begin() + prefixSize, fileName.end(),
                       [](QChar c) { return c.isDigit() || (c >= u'a' && c <= u'f'); });
}

bool RegularFile(const QString& path) {
    struct stat info {};
    return ::lstat(Encoded(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

// The pointer is only a hint of where to look: it is followed to a kept part
// of KORU's own naming, with its validator beside it, and to nothing else.
bool IsKeptPart(const QString& path) {
    const QFileInfo info(path);
    return info.isAbsolute() && QDir::cleanPath(path) == path && IsKeptName(info.fileName()) &&
           RegularFile(path) && RegularFile(InfoPath(path));
}

bool Fresh(const QString& kept) {
    const QFileInfo info(InfoPath(kept));
    return info.exists() &&
           info.lastModified().secsTo(QDateTime::currentDateTime()) < keptLifetimeSeconds;
}

} // namespace

KeptPart::KeptPart(const QString& target, const QByteArray& url)
    : path_(QFileInfo(target).absolutePath() + u'/' + KeptName(target, url)) {}

bool KeptPart::Sendable(const QByteArray& validator) {
    return !validator.isEmpty() && std::none_of(validator.begin(), validator.end(), [](char c) {
        return (c >= 0 && c < ' ') || c == '\x7f';
    });
}

int KeptPart::OpenAndTryLock(const QByteArray& path, bool& held) {
    const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    return fd;
}

QByteArray KeptPart::Validator() const {
    QFile info(InfoPath(path_));
    const QByteArray validator =
        info.open(QIODevice::ReadOnly) ? info.readLine(1024).trimmed() : QByteArray();
    if (Sendable(validator))
        return validator;
    if (!validator.isEmpty())
        RemoveKept(path_);
    return {};
}

void KeptPart::ForgetOthers(const QString& folder) const {
    const QString elsewhere = ReadPointer();
    if (elsewhere != path_ && IsKeptPart(elsewhere))
        RemoveKept(elsewhere);
    const QStringList names = QDir(folder).entryList({QLatin1String(keptPrefix) + u'*'},
                                                     QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        QString kept = folder + u'/' + name;
        if (kept.endsWith(QLatin1String(infoSuffix)))
            kept.chop(qsizetype(sizeof infoSuffix) - 1);
        if (!IsKeptName(QFileInfo(kept).fileName()))
            continue;
        if (kept != path_ || !Fresh(kept))
            RemoveKept(kept);
    }
}

bool KeptPart::Record(const QByteArray& validator) const {
    try {
        ReplaceFile(InfoPath(path_), validator + '\n');
    } catch (const RuntimeError&) {
        return false;
    }
    WritePointer(path_);
    return true;
}

void KeptPart::ForgetValidator() const {
    QFile::remove(InfoPath(path_));
}

void KeptPart::Forget() const {
    QFile::remove(InfoPath(path_));
    ClearPointer(path_);
}
