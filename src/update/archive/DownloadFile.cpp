#include "update/archive/DownloadFile.h"

#include "platform/runtime/ReplaceFile.h"
#include "platform/runtime/RuntimeError.h"
#include "update/archive/StateFolder.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char ownPrefix[] = ".koru-download-";
constexpr int ownSuffixSize = 8;
// Write-back is started every so many bytes, so that the flush before the
// rename finds little left to write.
constexpr std::int64_t flushStep = 8 * 1024 * 1024;

QString OwnName() {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString name = QString::fromLatin1(ownPrefix);
    for (int i = 0; i < ownSuffixSize; ++i)
        name += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
    return name;
}

QByteArray Encoded(const QString& path) {
    return QFile::encodeName(path);
}

constexpr char keptPrefix[] = ".koru-partial-";
constexpr char infoSuffix[] = ".info";
constexpr qint64 keptLifetimeSeconds = 7 * 24 * 60 * 60;

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

// Opens a file of KORU's own naming and tries its lock, which a KORU writing
// the file holds. Answers the descriptor (-1 when there is no such file) and
// whether the lock is held elsewhere.
int OpenAndTryLock(const QByteArray& path, bool& held) {
    const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    return fd;
}

// Removes a kept part and its validator unless a KORU is resuming it.
void RemoveKept(const QString& kept) {
    const QByteArray path = Encoded(kept);
    bool held = false;
    const int fd = OpenAndTryLock(path, held);
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

bool DownloadFile::Sendable(const QByteArray& validator) {
    return !validator.isEmpty() && std::none_of(validator.begin(), validator.end(), [](char c) {
        return (c >= 0 && c < ' ') || c == '\x7f';
    });
}

bool DownloadFile::IsOwnName(const QString& fileName) {
    if (!fileName.startsWith(QLatin1String(ownPrefix)) ||
        fileName.size() != qsizetype(sizeof ownPrefix) - 1 + ownSuffixSize)
        return false;
    for (qsizetype i = qsizetype(sizeof ownPrefix) - 1; i < fileName.size(); ++i) {
        if (!fileName[i].isLower() && !fileName[i].isDigit())
            return false;
    }
    return true;
}

int DownloadFile::RemoveStale(const QString& folder) {
    int removed = 0;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!IsOwnName(name))
            continue;
        const QByteArray path = Encoded(folder + u'/' + name);
        bool held = false;
        const int fd = OpenAndTryLock(path, held);
        if (fd < 0)
            continue;
        // A download in progress holds its lock; one that was killed does not.
        struct stat opened {};
        struct stat named {};
        if (!held && ::fstat(fd, &opened) == 0 && ::lstat(path.constData(), &named) == 0 &&
            opened.st_ino == named.st_ino && opened.st_dev == named.st_dev &&
            ::unlink(path.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

DownloadFile::DownloadFile(const QString& target, const QByteArray& url)
    : target_(QFileInfo(target).absoluteFilePath()) {
    if (!url.isEmpty())
        keptPath_ = QFileInfo(target_).absolutePath() + u'/' + KeptName(target_, url);
    try {
        Create();
    } catch (...) {
        Discard();
        throw;
    }
}

void DownloadFile::Create() {
    const QString folder = QFileInfo(target_).absolutePath();
    folderFd_ = ::open(Encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd_ < 0)
        Raise(errno);
    RemoveStale(folder);
    if (!keptPath_.isEmpty()) {
        ForgetOtherKeptParts(folder);
        if (TakeUpKeptPart())
            return;
    }

    // Nameless first, so that nothing is left behind if the process dies.
    fd_ = ::openat(folderFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        Raise(errno);
    while (fd_ < 0) {
        const QString name = OwnName();
        fd_ = ::openat(folderFd_, Encoded(name).constData(),
                       O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd_ >= 0)
            path_ = folder + u'/' + name;
        else if (errno != EEXIST)
            Raise(errno);
    }
    ::flock(fd_, LOCK_EX);

    // The archive keeps the permissions of the file it replaces.
    struct stat existing {};
    if (::stat(Encoded(target_).constData(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(fd_, existing.st_mode & 07777);
}

void DownloadFile::ForgetOtherKeptParts(const QString& folder) const {
    const QString elsewhere = ReadPointer();
    if (elsewhere != keptPath_ && IsKeptPart(elsewhere))
        RemoveKept(elsewhere);
    const QStringList names = QDir(folder).entryList({QLatin1String(keptPrefix) + u'*'},
                                                     QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        QString kept = folder + u'/' + name;
        if (kept.endsWith(QLatin1String(infoSuffix)))
            kept.chop(qsizetype(sizeof infoSuffix) - 1);
        if (!IsKeptName(QFileInfo(kept).fileName()))
            continue;
        if (kept != keptPath_ || !Fresh(kept))
            RemoveKept(kept);
    }
}

bool DownloadFile::TakeUpKeptPart() {
    QFile info(InfoPath(keptPath_));
    const QByteArray validator =
        info.open(QIODevice::ReadOnly) ? info.readLine(1024).trimmed() : QByteArray();
    if (!Sendable(validator)) {
        // Kept under a validator that cannot be asked with: not worth keeping.
        if (!validator.isEmpty())
            RemoveKept(keptPath_);
        return false;
    }
    const int fd =
        ::open(Encoded(keptPath_).constData(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat kept {};
    // Another KORU may be resuming it right now.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &kept) != 0 || kept.st_size <= 0 ||
        ::lseek(fd, 0, SEEK_END) < 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = keptPath_;
    written_ = flushedTo_ = keptSize_ = kept.st_size;
    keptValidator_ = validator;
    return true;
}

void DownloadFile::StartOver() {
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)
        Raise(errno);
    written_ = flushedTo_ = keptSize_ = 0;
    keptValidator_.clear();
    if (!path_.isEmpty() && path_ == keptPath_)
        QFile::remove(InfoPath(keptPath_));
}

void DownloadFile::Reserve(std::int64_t size) {
    // A file with a name outlives a kill, so its size must stay what truly
    // arrived: a kept part being resumed must not end in reserved zeros that
    // the next resume would take for the archive's bytes. Where the file
    // system cannot reserve, the writes find out instead.
    const int mode = path_.isEmpty() ? 0 : FALLOC_FL_KEEP_SIZE;
    if (size > 0 && ::fallocate(fd_, mode, off_t(written_), off_t(size)) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        Raise(errno);
}

QString DownloadFile::ReadablePath() const {
    return path_.isEmpty() ? QStringLiteral("/proc/self/fd/") + QString::number(fd_) : path_;
}

void DownloadFile::Keep(const QByteArray& validator) {
    if (keptPath_.isEmpty() || !Sendable(validator) || written_ == 0 || fd_ < 0) {
        Discard();
        return;
    }
    const QByteArray kept = Encoded(keptPath_);
    // Reserved room beyond what arrived is given back before the part has
    // the name a later download looks for.
    if (::ftruncate(fd_, off_t(written_)) != 0) {
        Discard();
        return;
    }
    if (path_ != keptPath_) {
        // A part under that name that nobody holds is an older one of ours.
        bool held = false;
        const int older = OpenAndTryLock(kept, held);
        if (older >= 0 && !held)
            ::unlink(kept.constData());
        if (older >= 0)
            ::close(older);
        const bool named =
            !held &&
            (path_.isEmpty() ? ::linkat(AT_FDCWD, Encoded(ReadablePath()).constData(), AT_FDCWD,
                                        kept.constData(), AT_SYMLINK_FOLLOW) == 0
                             : ::rename(Encoded(path_).constData(), kept.constData()) == 0);
        if (!named) {
            Discard();
            return;
        }
        path_ = keptPath_;
    }
    try {
        ReplaceFile(InfoPath(keptPath_), validator + '\n');
    } catch (const RuntimeError&) {
        Discard(); // keeping is a courtesy: the download has failed anyway
        return;
    }
    WritePointer(keptPath_);
    path_.clear();
    Close();
}

DownloadFile::~DownloadFile() {
    Discard();
}

void DownloadFile::Discard() {
    if (!path_.isEmpty())
        ::unlink(Encoded(path_).constData());
    if (!path_.isEmpty() && path_ == keptPath_) {
        QFile::remove(InfoPath(keptPath_));
        ClearPointer(keptPath_);
    }
    path_.clear();
    Close();
}

void DownloadFile::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    if (folderFd_ >= 0)
        ::close(folderFd_);
    fd_ = folderFd_ = -1;
}

void DownloadFile::Write(const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = ::write(fd_, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            Raise(errno);
        }
        data += written;
        size -= written;
        written_ += written;
    }
    if (written_ - flushedTo_ >= flushStep) {
        ::sync_file_range(fd_, flushedTo_, written_ - flushedTo_, SYNC_FILE_RANGE_WRITE);
        flushedTo_ = written_;
    }
}

void DownloadFile::Commit() {
    // Space reserved beyond what arrived is given back.
    if (::ftruncate(fd_, off_t(written_)) != 0 || ::fdatasync(fd_) != 0)
        Raise(errno);
    if (path_.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd_);
        while (path_.isEmpty()) {
            const QString name = OwnName();
            if (::linkat(AT_FDCWD, self.constData(), folderFd_, Encoded(name).constData(),
                         AT_SYMLINK_FOLLOW) == 0)
                path_ = QFileInfo(target_).absolutePath() + u'/' + name;
            else if (errno != EEXIST)
                Raise(errno);
        }
    }
    if (::rename(Encoded(path_).constData(), Encoded(target_).constData()) != 0)
        Raise(errno);
    if (path_ == keptPath_) {
        QFile::remove(InfoPath(keptPath_));
        ClearPointer(keptPath_);
    }
    path_.clear();
    // The rename itself reaches the disk with the folder.
    ::fsync(folderFd_);
    Close();
}

void DownloadFile::Raise(int error) const {
    const QByteArray source = Encoded(target_);
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        throw RuntimeError(RuntimeErrors::diskFull, source);
    case ENOENT:
    case ENOTDIR:
        throw RuntimeError(RuntimeErrors::pathNotFound, source);
    case EIO:
        throw RuntimeError(RuntimeErrors::deviceIoError, source);
    default:
        throw RuntimeError(RuntimeErrors::pathFileAccess, source);
    }
}
