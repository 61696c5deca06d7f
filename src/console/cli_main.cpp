// koru-cli: the main window's commands from a console; the message log goes to
// standard output after each command, byte for byte unless it is a terminal.
#include "console/ConsoleRunner.h"
#include "console/DesktopNotifier.h"
#include "console/StopSignals.h"

#include <QCoreApplication>
#include <QFile>
#include <csignal>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Straight to the descriptors, past stdio's buffer: each command's log is
    // out as it ends, even when a signal ends the program afterwards.
    QFile out;
    QFile err;
    if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        !err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return 1;
    ConsoleRunner runner(out, err);
    runner.ShowProgress(::isatty(STDERR_FILENO) != 0);
    runner.ShowControlsVisibly(::isatty(STDOUT_FILENO) != 0);
    // The daily timer's run has no terminal: it gives up rather than queue behind another KORU.
    if (::isatty(STDIN_FILENO) == 0)
        runner.WaitAtMost(std::chrono::minutes(5));
    DesktopNotifier notifier(err);
    // The tests shorten the wait for the notification's action.
    bool shorter = false;
    if (const int seconds = qEnvironmentVariableIntValue("KORU_NOTIFY_WAIT", &shorter); shorter)
        notifier.wait = std::chrono::seconds(seconds);
    runner.SetNotifier([&notifier](const ConsoleOffer& offer) { notifier.Announce(offer); });
    int status = 0;
    {
        const StopSignals stop([&runner](int signal) { runner.Interrupt(signal); });
        status = runner.Run(QCoreApplication::arguments().mid(1));
    }
    // Whoever sent the signal sees koru-cli end by it, once its work is put away.
    if (runner.StoppedBy() != 0)
        std::raise(runner.StoppedBy());
    return status;
}
