#include "platform/runtime/FolderLock.h"

#include "platform/runtime/Events.h"
#include "platform/runtime/RuntimeError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

[[noreturn]] void raiseLockError(const QString& path) {
    throw RuntimeError(RuntimeErrors::pathFileAccess, QFile::encodeName(path));
}

// A folder under /tmp is only trusted when it is our own, a real folder, and
// closed to others: anyone could have made it first.
bool OwnPrivateFolder(const QByteArray& path) {
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

struct flock WholeFile(short type) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    return range; // start 0, length 0: the whole file
}

} // namespace

FolderLock::FolderLock(const QString& folder, const char* purpose) {
    QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = QDir::cleanPath(QDir(folder).absolutePath());
    const QByteArray key =
        QCryptographicHash::hash(QFile::encodeName(canonical), QCryptographicHash::Sha256)
            .toHex()
            .left(32);
    path_ = Directory() + u'/' + QString::fromLatin1(key + '.' + purpose + ".lock");
}

FolderLock::~FolderLock() {
    Unlock();
}

QByteArray FolderLock::TmpFolder() {
    return "/tmp/koru-" + QByteArray::number(::geteuid());
}

QString FolderLock::Directory(const QByteArray& privateFolder) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(QFile::decodeName(runtime)).isDir()) {
        const QByteArray folder = runtime + "/koru";
        if (::mkdir(folder.constData(), 0700) == 0 || errno == EEXIST)
            return QFile::decodeName(folder);
    }
    if (OwnPrivateFolder(privateFolder))
        return QFile::decodeName(privateFolder);
    // Another user made it first: a folder of the user's own home instead,
    // one place for every copy of this user alike.
    QByteArray cache = qgetenv("XDG_CACHE_HOME");
    if (!cache.startsWith('/'))
        cache = QFile::encodeName(QDir::homePath()) + "/.cache";
    const QString folder = QFile::decodeName(cache + "/koru/locks");
    if (!QDir().mkpath(folder) || ::chmod(QFile::encodeName(folder).constData(), 0700) != 0)
        raiseLockError(folder);
    static bool told = false;
    if (!std::exchange(told, true))
        std::fprintf(stderr, "koru: %s is not this user's private folder; locks are kept in %s\n",
                     privateFolder.constData(), QFile::encodeName(folder).constData());
    return folder;
}

void FolderLock::Open() {
    if (fd_ >= 0)
        return;
    fd_ = ::open(QFile::encodeName(path_).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                 0600);
    if (fd_ < 0)
        raiseLockError(path_);
}

bool FolderLock::TryLock(Kind kind) {
    Open();
    struct flock range = WholeFile(kind == Shared ? F_RDLCK : F_WRLCK);
    if (::fcntl(fd_, F_OFD_SETLK, &range) == 0)
        return locked_ = true;
    if (errno != EAGAIN && errno != EACCES)
        raiseLockError(path_);
    return locked_ = false;
}

bool FolderLock::WaitLock(Kind kind, const std::function<void()>& waiting,
                          const std::function<bool()>& giveUp) {
    if (TryLock(kind))
        return true;
    if (waiting)
        waiting();
    // The kernel tells no one when a lock is dropped, so a timer paces the
    // tries; they run here rather than in the timer's slot, so that an error
    // they raise reaches the caller.
    bool due = false;
    QTimer retry;
    retry.setInterval(100);
    QObject::connect(&retry, &QTimer::timeout, [&due] { due = true; });
    retry.start();
    WaitUntil([&] {
        if (giveUp && giveUp())
            return true;
        if (due) {
            due = false;
            return TryLock(kind);
        }
        return false;
    });
    return locked_;
}

bool FolderLock::HeldElsewhere() {
    Open();
    // A lock of our own never conflicts with itself, so only others' locks answer.
    struct flock range = WholeFile(F_WRLCK);
    if (::fcntl(fd_, F_OFD_GETLK, &range) != 0)
        raiseLockError(path_);
    return range.l_type != F_UNLCK;
}

void FolderLock::Unlock() {
    // Closing the only descriptor of the open file drops its lock.
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    locked_ = false;
}
