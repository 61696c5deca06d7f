#include "update/install/RunningVanto.h"

#include "platform/runtime/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <optional>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

using std::chrono::milliseconds;

constexpr char processFolder[] = "/proc";
// How often the wait looks again where it cannot be told that a process ended.
constexpr milliseconds sleepingStep{200};

struct FileId {
    dev_t device;
    ino_t inode;

    bool operator==(const FileId&) const = default;
};

// A regular file's identity; `followLink` false for the program's own path:
// a link in VANTO's folder may name any program, and every process running
// that one would count as VANTO.
std::optional<FileId> IdOf(const QByteArray& path, bool followLink) {
    struct stat status {};
    const int failed =
        followLink ? ::stat(path.constData(), &status) : ::lstat(path.constData(), &status);
    if (failed != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return FileId{status.st_dev, status.st_ino};
}

std::optional<pid_t> ProcessId(const char* name) {
    bool ok = false;
    const pid_t pid = QByteArray(name).toInt(&ok);
    return ok && pid > 0 ? std::optional(pid) : std::nullopt;
}

} // namespace

RunningVanto::RunningVanto(const QString& vantoFolder, const QByteArray& program)
    : path_(program.isEmpty() ? QString()
                              : QDir(vantoFolder).filePath(QString::fromUtf8(program))) {}

QList<pid_t> RunningVanto::Pids() const {
    const std::optional<FileId> program =
        path_.isEmpty() ? std::nullopt : IdOf(QFile::encodeName(path_), false);
    if (!program)
        return {};
    DIR* processes = ::opendir(processFolder);
    // Without /proc nothing could be seen running: say so rather than answer none.
    if (processes == nullptr)
        throw RuntimeError(RuntimeErrors::pathNotFound, processFolder);
    const auto closeFolder = qScopeGuard([processes] { ::closedir(processes); });
    QList<pid_t> pids;
    while (const dirent* entry = ::readdir(processes)) {
        const std::optional<pid_t> pid = ProcessId(entry->d_name);
        // Stat follows the exe link to the file the process runs, even once
        // that file was deleted or renamed.
        if (pid && IdOf(processFolder + ("/" + QByteArray::number(*pid)) + "/exe", true) == program)
            pids.append(*pid);
    }
    std::sort(pids.begin(), pids.end());
    return pids;
}

bool RunningVanto::WaitClosed(milliseconds timeout) const {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        const QList<pid_t> pids = Pids();
        if (pids.isEmpty())
            return true;
        milliseconds wait = std::chrono::ceil<milliseconds>(deadline - Clock::now());
        if (wait <= milliseconds::zero())
            return false;
        std::vector<pollfd> ends;
        const auto closeEnds = qScopeGuard([&ends] {
            for (const pollfd& end : ends)
                ::close(end.fd);
        });
        for (const pid_t pid : pids) {
            // Through syscall: Debian 12's <sys/pidfd.h> cannot be linked from C++.
            const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
            if (fd >= 0)
                ends.push_back({fd, POLLIN, 0});
            else if (errno == ESRCH)
                wait = milliseconds::zero(); // ended already
            else
                wait = std::min(wait, sleepingStep);
        }
        // A PID reused between the scan and pidfd_open would be waited for in
        // vain: look again at once unless the same processes still run VANTO.
        if (Pids() != pids)
            wait = milliseconds::zero();
        if (::poll(ends.data(), ends.size(), int(wait.count())) < 0 && errno != EINTR)
            ::poll(nullptr, 0, int(std::min(wait, sleepingStep).count()));
    }
}
