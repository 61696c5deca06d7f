// KORU's windowed entry point: the main window's load picks normal or quick mode.
#include "platform/runtime/App.h"
#include "platform/runtime/EndProgram.h"
#include "platform/runtime/RuntimeError.h"
#include "ui/DisplayCheck.h"
#include "ui/KoruApplication.h"
#include "ui/RuntimeApplication.h"
#include "update/HomeChoice.h"
#include "update/MainForm.h"
#include "update/StartOptions.h"

#include <QFile>
#include <cstdio>

int main(int argc, char** argv) {
    // --help, --version and bad usage are answered before Qt needs a display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QFile out;
    QFile err;
    if (!out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        !err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return 1;
    if (const auto status =
            StartOptions::Parse(arguments).Answer(out, err, "koru", StartOptions::KoruUsage()))
        return *status;
    if (!DisplayAvailable(arguments)) {
        err.write(NoDisplayMessage());
        return 1;
    }

    RuntimeApplication app(argc, argv);
    // Qt has taken its own options (-platform, -style) off the line by now.
    const StartOptions options = StartOptions::Parse(QApplication::arguments().mid(1));
    options.Apply();
    SetCommand(options.rest);
    // Each mode its own window class (X11) and application id (Wayland), so the
    // desktop ties each window to its own menu entry.
    const char* desktopEntry = MainForm::QuickModeRequested(Command()) ? "koru-update" : "koru";
    QApplication::setApplicationName(QString::fromLatin1(desktopEntry));
    QApplication::setDesktopFileName(QString::fromLatin1(desktopEntry));
    KoruApplication koru;
    // An installed KORU started away from VANTO asks for its folder once.
    bool cancelled = false;
    QString chosen;
    try {
        chosen = HomeChoice::ForStart(options.home, options.chooseHome, true, cancelled);
    } catch (const RuntimeError& e) {
        ReportUncaughtError(e);
        return 1;
    }
    if (cancelled)
        return 0;
    if (!chosen.isEmpty())
        App::SetHome(chosen);
    // Taken at start so that a later copy in quick mode sees this one.
    App::PrevInstance();

    koru.Start();
    if (ProgramEnded())
        return 0;
    return QApplication::exec();
}
