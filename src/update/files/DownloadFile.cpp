#include "update/files/DownloadFile.h"

#include "platform/runtime/ReplaceFile.h"
#include "platform/runtime/RuntimeError.h"
#include "update/files/KeptPart.h"

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

} // namespace

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
        const int fd = KeptPart::OpenAndTryLock(path, held);
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
        kept_.emplace(target_, url);
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
    if (kept_) {
        kept_->ForgetOthers(folder);
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

bool DownloadFile::TakeUpKeptPart() {
    const QByteArray validator = kept_->Validator();
    if (validator.isEmpty())
        return false;
    const int fd =
        ::open(Encoded(kept_->Path()).constData(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
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
    path_ = kept_->Path();
    written_ = flushedTo_ = keptSize_ = kept.st_size;
    keptValidator_ = validator;
    return true;
}

void DownloadFile::StartOver() {
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)
        Raise(errno);
    written_ = flushedTo_ = keptSize_ = 0;
    keptValidator_.clear();
    if (HoldsKeptPart())
        kept_->ForgetValidator();
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

bool DownloadFile::HoldsKeptPart() const {
    return kept_ && !path_.isEmpty() && path_ == kept_->Path();
}

QString DownloadFile::ReadablePath() const {
    return path_.isEmpty() ? QStringLiteral("/proc/self/fd/") + QString::number(fd_) : path_;
}

void DownloadFile::Keep(const QByteArray& validator) {
    if (!kept_ || !KeptPart::Sendable(validator) || written_ == 0 || fd_ < 0) {
        Discard();
        return;
    }
    const QByteArray kept = Encoded(kept_->Path());
    // Reserved room beyond what arrived is given back before the part has
    // the name a later download looks for.
    if (::ftruncate(fd_, off_t(written_)) != 0) {
        Discard();
        return;
    }
    if (!HoldsKeptPart()) {
        // A part under that name that nobody holds is an older one of ours.
        bool held = false;
        const int older = KeptPart::OpenAndTryLock(kept, held);
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
        path_ = kept_->Path();
    }
    if (!kept_->Record(validator)) {
        Discard(); // keeping is a courtesy: the download has failed anyway
        return;
    }
    path_.clear();
    Close();
}

DownloadFile::~DownloadFile() {
    Discard();
}

void DownloadFile::Discard() {
    if (!path_.isEmpty())
        ::unlink(Encoded(path_).constData());
    if (HoldsKeptPart())
        kept_->Forget();
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
    if (HoldsKeptPart())
        kept_->Forget();
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
