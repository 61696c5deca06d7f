// CPU used by "koru-cli check" while the server accepts and never answers:
// each of the four transfers waits out its stall time-out in the event loop.
// Prints the UI thread's CPU seconds over the whole wait (target: under 1% of
// one core).
#include "console/ConsoleRunner.h"
#include "support/ScriptedServer.h"
#include "support/TestVantoHome.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <sys/resource.h>

namespace {

double ThreadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // A VANTO folder with 02.13 installed, and no name server asked.
    const TestVantoHome home;
    ScriptedServer silent;
    for (const char* path : {"/files/koru/killswitch.txt", "/files/koru/vanto_ver.txt",
                             "/files/koru/koru_helplinks.txt", "/files/koru/otherinfo.txt"})
        silent.script(path, {{}, ScriptedServer::Ending::StaySilent});
    qputenv("KORU_SERVER", silent.hostAndPort());

    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    std::printf("koru-cli check against a server that never answers (four stall time-outs)...\n");
    std::fflush(stdout);
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = ThreadCpuSeconds();
    const int status = ConsoleRunner(out, err).Run({QStringLiteral("check")});
    const double cpu = ThreadCpuSeconds() - cpuBefore;
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    std::printf("  exit status %d, %d connections, wall %.1f s\n", status, silent.connections(),
                seconds);
    std::printf("  CPU %.3f s = %.3f%% of one core (target < 1%%)\n", cpu, 100.0 * cpu / seconds);
    return status == ConsoleRunner::CommandFailed ? 0 : 1;
}
