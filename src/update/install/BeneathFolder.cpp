#include "update/install/BeneathFolder.h"

#include "platform/runtime/RuntimeError.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Set once openat2 answered ENOSYS: the walk stands in from then on.
bool noOpenat2 = false;

QByteArray Quoted(const QByteArray& path) {
    return '"' + (path.isEmpty() ? QByteArray(".") : path) + '"';
}

} // namespace

BeneathFolder::BeneathFolder(const QString& folder)
    : name_(folder), root_(::open(QFile::encodeName(folder).constData(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW)) {
    if (!root_.Valid())
        throw RuntimeError(RuntimeErrors::pathNotFound,
                           "VANTO's folder " + QFile::encodeName(folder) + " cannot be opened (" +
                               std::strerror(errno) + ").",
                           "BeneathFolder");
}

void BeneathFolder::Fail(const QByteArray& doing) {
    throw RuntimeError(RuntimeErrors::pathFileAccess,
                       "KORU failed " + doing + " in VANTO's folder (" + std::strerror(errno) +
                           ").",
                       "BeneathFolder");
}

OpenDescriptor BeneathFolder::Open(const QByteArray& path, int flags, mode_t mode) const {
    const QByteArray name = path.isEmpty() ? QByteArray(".") : path;
    if (!noOpenat2) {
        open_how how{};
        how.flags = quint64(flags | O_CLOEXEC | O_NOFOLLOW);
        how.mode = (flags & O_CREAT) != 0 ? mode : 0;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
        const long fd = ::syscall(SYS_openat2, root_.Get(), name.constData(), &how, sizeof how);
        if (fd >= 0 || errno != ENOSYS)
            return OpenDescriptor(int(fd));
        noOpenat2 = true;
    }
    return Walk(path, flags, mode);
}

void BeneathFolder::UseWalk() {
    noOpenat2 = true;
}

OpenDescriptor BeneathFolder::Walk(const QByteArray& path, int flags, mode_t mode) const {
    if (path.isEmpty())
        return OpenDescriptor(::openat(root_.Get(), ".", flags | O_CLOEXEC, mode));
    const QList<QByteArray> parts = path.split('/');
    // openat2's RESOLVE_BENEATH refuses these as EXDEV; so does the walk.
    for (const QByteArray& part : parts) {
        if (part.isEmpty() || part == "." || part == "..") {
            errno = EXDEV;
            return OpenDescriptor();
        }
    }
    OpenDescriptor at(::fcntl(root_.Get(), F_DUPFD_CLOEXEC, 0));
    for (qsizetype i = 0; at.Valid() && i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        const int how = last ? flags : O_PATH | O_DIRECTORY;
        at = OpenDescriptor(::openat(at.Get(), parts[i].constData(), how | O_NOFOLLOW | O_CLOEXEC,
                                     last ? mode : 0));
    }
    return at;
}

std::pair<OpenDescriptor, QByteArray> BeneathFolder::Parent(const QByteArray& path) const {
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray() : path.left(slash);
    const QByteArray name = path.mid(slash + 1);
    // The last name is used as it is by the calls that take a folder and a name.
    if (name.isEmpty() || name == "." || name == "..") {
        errno = EXDEV;
        Fail("reaching " + Quoted(path) + " beneath the folder");
    }
    OpenDescriptor fd = Open(folder, O_PATH | O_DIRECTORY);
    if (!fd.Valid() && errno != ENOENT)
        Fail("opening the folder " + Quoted(folder) + " without following a link");
    return {std::move(fd), name};
}

bool BeneathFolder::Stat(const QByteArray& path, struct stat& st) const {
    if (path.isEmpty() || path == ".") {
        if (::fstat(root_.Get(), &st) != 0)
            Fail("looking at the folder itself");
        return true;
    }
    const auto [folder, name] = Parent(path);
    if (!folder.Valid())
        return false;
    if (::fstatat(folder.Get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return true;
    if (errno != ENOENT)
        Fail("looking at " + Quoted(path));
    return false;
}

bool BeneathFolder::Exists(const QByteArray& path) const {
    struct stat st {};
    return Stat(path, st);
}

quint64 BeneathFolder::MountId(const QByteArray& path) const {
    const OpenDescriptor fd = Open(path, O_PATH | O_DIRECTORY);
    struct statx sx {};
    if (!fd.Valid() || ::statx(fd.Get(), "", AT_EMPTY_PATH, STATX_MNT_ID, &sx) != 0)
        Fail("opening the folder " + Quoted(path) + " without following a link");
    // Without mount ids (kernels before 5.8) the device tells file systems apart.
    return (sx.stx_mask & STATX_MNT_ID) != 0 ? sx.stx_mnt_id
                                             : (quint64(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
}

void BeneathFolder::Rename(const QByteArray& from, const QByteArray& to) const {
    const auto [fromFolder, fromName] = Parent(from);
    const auto [toFolder, toName] = Parent(to);
    if (!fromFolder.Valid() || !toFolder.Valid() ||
        ::renameat(fromFolder.Get(), fromName.constData(), toFolder.Get(), toName.constData()) != 0)
        Fail("renaming " + Quoted(from) + " to " + Quoted(to));
}

void BeneathFolder::MakeFolder(const QByteArray& path, mode_t mode) const {
    const auto [folder, name] = Parent(path);
    if (!folder.Valid() ||
        (::mkdirat(folder.Get(), name.constData(), mode) != 0 && errno != EEXIST))
        Fail("creating the folder " + Quoted(path));
    // The mode is the one planned, whatever the umask.
    const OpenDescriptor made = Open(path, O_RDONLY | O_DIRECTORY);
    if (!made.Valid() || ::fchmod(made.Get(), mode) != 0)
        Fail("setting the mode of the folder " + Quoted(path));
}

bool BeneathFolder::RemoveEmptyFolder(const QByteArray& path) const {
    const auto [folder, name] = Parent(path);
    if (folder.Valid() && ::unlinkat(folder.Get(), name.constData(), AT_REMOVEDIR) == 0)
        return true;
    if (folder.Valid() && errno != ENOENT && errno != ENOTEMPTY && errno != EEXIST)
        Fail("removing the folder " + Quoted(path));
    return false;
}

void BeneathFolder::RemoveTree(const QByteArray& path) const {
    struct stat st {};
    if (!Stat(path, st))
        return;
    if (S_ISDIR(st.st_mode)) {
        const OpenDescriptor folder = Open(path, O_RDONLY | O_DIRECTORY);
        if (!folder.Valid())
            Fail("opening the folder " + Quoted(path));
        RemoveBeneath(folder.Get());
    }
    const auto [parent, name] = Parent(path);
    if (::unlinkat(parent.Get(), name.constData(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0) != 0)
        Fail("removing " + Quoted(path));
}

void BeneathFolder::RemoveBeneath(int folder) const {
    // fdopendir takes the descriptor it is given, so it gets a copy.
    DIR* dir = ::fdopendir(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    if (dir == nullptr)
        Fail("listing a folder to remove");
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat st {};
        const bool isFolder =
            entry->d_type == DT_DIR ||
            (entry->d_type == DT_UNKNOWN &&
             ::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode));
        if (isFolder) {
            const OpenDescriptor sub(
                ::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (sub.Valid())
                RemoveBeneath(sub.Get());
        }
        if (::unlinkat(folder, name, isFolder ? AT_REMOVEDIR : 0) != 0) {
            ::closedir(dir);
            Fail("removing " + Quoted(name));
        }
    }
    ::closedir(dir);
}

void BeneathFolder::SyncAll() const {
    if (::syncfs(root_.Get()) != 0)
        Fail("flushing the file system");
}

void BeneathFolder::SyncFolder(const QByteArray& path) const {
    const OpenDescriptor folder = Open(path, O_RDONLY | O_DIRECTORY);
    if (!folder.Valid() || ::fsync(folder.Get()) != 0)
        Fail("flushing the folder " + Quoted(path));
}
