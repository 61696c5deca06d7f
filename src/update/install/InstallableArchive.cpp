#include "update/install/InstallableArchive.h"

#include "platform/runtime/RuntimeError.h"
#include "update/trust/ListedFileCheck.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

InstallableArchive::InstallableArchive(const QString& path, const ReleaseList& list)
    : path_(QFile::encodeName(path)) {
    if (list.installable.isEmpty()) {
        problem_ = "The publisher does not mark the archive as an image of VANTO's folder, so "
                   "KORU only saves it.";
        return;
    }
    fd_ = ::open(path_.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        problem_ = "The archive " + path_ + " cannot be opened (" + std::strerror(errno) + ").";
        return;
    }
    try {
        Check(list);
    } catch (const RuntimeError& e) {
        problem_ = "The archive " + path_ + " cannot be checked (" + e.Description() + ").";
    }
    if (!problem_.isEmpty()) {
        ::close(fd_);
        fd_ = -1;
    }
}

InstallableArchive::~InstallableArchive() {
    if (fd_ >= 0)
        ::close(fd_);
}

void InstallableArchive::Check(const ReleaseList& list) {
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        problem_ = "The archive " + path_ + " is not a regular file.";
        return;
    }
    ListedFileCheck check(*list.Find(list.installable));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            problem_ = "The archive " + path_ + " cannot be read (" + std::strerror(errno) + ").";
            return;
        }
        if (got == 0 || !check.Update(buffer, got))
            break;
    }
    const QByteArray verdict = check.Verdict();
    if (!verdict.isEmpty())
        problem_ = "The archive " + path_ +
                   " is not the one the release list marks installable: " + verdict;
}
