// Whether VANTO runs: the processes whose /proc/PID/exe is VANTO's program
// file itself, the same device and inode, whatever either is called. Meant for
// the install commands: before the swap, Pids() non-empty means VANTO must be
// closed first (or WaitClosed() given time to see it close); after an install
// that found it running, StartVanto starts it again. Ask before the swap: a
// running VANTO keeps the inode of the file it started from.
//
// Processes of other users are invisible (their exe link cannot be read), so
// only the user's own VANTO is seen.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <chrono>
#include <sys/types.h>

class RunningVanto {
public:
    // `program` as the release list names it, relative to `vantoFolder`; an
    // empty one names nothing, which nothing runs.
    RunningVanto(const QString& vantoFolder, const QByteArray& program);

    // The processes running the program now, by PID; none when the program
    // file is missing.
    QList<pid_t> Pids() const;

    // Waits up to `timeout` for VANTO to close, looking again whenever one of
    // its processes ends, since a new one may have started meanwhile. True
    // when none runs.
    bool WaitClosed(std::chrono::milliseconds timeout) const;

    // The program file's path.
    const QString& Path() const { return path_; }

private:
    QString path_;
};
