#include "update/install/InstallableArchive.h"

#include "platform/runtime/RuntimeError.h"
#include "update/trust/ListedFileCheck.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Larger archives are copied to the temporary folder rather than held in memory.
constexpr qint64 inMemoryAtMost = 512 * 1024 * 1024;

} // namespace

InstallableArchive::InstallableArchive(const QString& path, const ReleaseList& list,
                                       Reading reading)
    : path_(QFile::encodeName(path)) {
    if (list.installable.isEmpty()) {
        problem_ = "The publisher does not mark the archive as an image of VANTO's folder, so "
                   "KORU only saves it.";
        return;
    }
    const OpenDescriptor fd(
        ::open(path_.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.Valid()) {
        problem_ = "The archive " + path_ + " cannot be opened (" + std::strerror(errno) + ").";
        return;
    }
    try {
        Check(list, fd.Get(), reading);
    } catch (const RuntimeError& e) {
        problem_ = "The archive " + path_ + " cannot be checked (" + e.Description() + ").";
    }
    if (!problem_.isEmpty())
        copy_ = OpenDescriptor();
}

OpenDescriptor InstallableArchive::PrivateFile(qint64 size) {
    if (size <= inMemoryAtMost) {
        OpenDescriptor file(::memfd_create("koru-archive", MFD_CLOEXEC));
        if (file.Valid())
            return file;
    }
    const QByteArray folder = QFile::encodeName(QDir::tempPath());
    OpenDescriptor file(::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (file.Valid() || (errno != EOPNOTSUPP && errno != EISDIR))
        return file;
    QByteArray name = folder + "/koru-archive-XXXXXX";
    file = OpenDescriptor(::mkostemp(name.data(), O_CLOEXEC));
    if (file.Valid())
        ::unlink(name.constData());
    return file;
}

void InstallableArchive::Check(const ReleaseList& list, int fd, Reading reading) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        problem_ = "The archive " + path_ + " is not a regular file.";
        return;
    }
    if (reading == Reading::PrivateCopy) {
        copy_ = PrivateFile(qint64(st.st_size));
        if (!copy_.Valid()) {
            problem_ = "KORU cannot make a private copy of the archive in " +
                       QFile::encodeName(QDir::tempPath()) + " (" + std::strerror(errno) + ").";
            return;
        }
    }
    ListedFileCheck check(*list.Find(list.installable));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            problem_ = "The archive " + path_ + " cannot be read (" + std::strerror(errno) + ").";
            return;
        }
        if (got == 0 || !check.Update(buffer, got))
            break;
        for (ssize_t done = 0; copy_.Valid() && done < got;) {
            const ssize_t wrote = ::write(copy_.Get(), buffer + done, size_t(got - done));
            if (wrote < 0 && errno != EINTR) {
                problem_ = "KORU cannot copy the archive privately (" +
                           QByteArray(std::strerror(errno)) + ").";
                return;
            }
            done += std::max<ssize_t>(wrote, 0);
        }
    }
    const QByteArray verdict = check.Verdict();
    if (!verdict.isEmpty())
        problem_ = "The archive " + path_ +
                   " is not the one the release list marks installable: " + verdict;
}
