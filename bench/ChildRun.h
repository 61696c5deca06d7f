// A program run as a child with its output discarded (or kept in a file):
// wall time, its peak memory and its exit status.
#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bench {

struct Run {
    double seconds = 0;
    double peakMiB = 0;
    int status = -1;
};

// Runs a program with its output discarded, or its standard output written to
// `output`; wall time and the child's peak memory.
inline Run Measure(const QStringList& command, const QString& output = {}) {
    QList<QByteArray> arguments;
    for (const QString& argument : command)
        arguments.append(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    // Encoded before the fork: the child only calls what is safe after one.
    const QByteArray outputName = QFile::encodeName(output);

    QElapsedTimer timer;
    timer.start();
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        const int out = outputName.isEmpty()
                            ? null
                            : ::open(outputName.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    Run run;
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.peakMiB = double(usage.ru_maxrss) / 1024.0;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace bench
