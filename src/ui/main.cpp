// KORU's windowed entry point: the main window's load picks normal or quick mode.
#include "app/HomeChoice.h"
#include "app/StartOptions.h"
#include "platform/runtime/App.h"
#include "platform/runtime/EndProgram.h"
#include "platform/runtime/RuntimeError.h"
#include "ui/DisplayCheck.h"
#include "ui/KoruApplication.h"
#include "ui/RuntimeApplication.h"
#include "update/install/UpdateInstaller.h"
#include "update/windows/MainForm.h"

#include <QFile>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    QStringList line;
    for (int i = 1; i < argc; ++i)
        line.append(QString::fromLocal8Bit(argv[i]));
    // The mode word is looked for on the raw line, before Qt can take
    // anything off it.
    const StartOptions options = StartOptions::Parse(line);
    // --help, --version and bad usage are answered before Qt needs a display.
    QFile out;
    QFile err;
    if (!out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        !err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return 1;
    if (const auto status = options.Answer(out, err, "koru", StartOptions::KoruUsage()))
        return *status;
    if (!DisplayAvailable(line)) {
        err.write(NoDisplayMessage());
        return 1;
    }

    std::vector<char*> qtArguments{argv[0]};
    for (const qsizetype at : StartOptions::ForQt(line, &MainForm::QuickModeRequested))
        qtArguments.push_back(argv[1 + at]);
    int qtCount = static_cast<int>(qtArguments.size());
    qtArguments.push_back(nullptr);
    RuntimeApplication app(qtCount, qtArguments.data());
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
    // Before any window, what an interrupted install left is settled.
    if (UpdateInstaller::AtStart(App::Path(), [&err, &koru](const QByteArray& said) {
            err.write("koru: " + said + '\n');
            koru.forms.KORU2.startLines << said;
        }) == FolderSwap::Recovery::Damaged)
        return UpdateInstaller::damagedStatus;
    // Taken at start so that a later copy in quick mode sees this one.
    App::PrevInstance();

    koru.Start();
    if (ProgramEnded())
        return 0;
    if (options.check)
        QTimer::singleShot(0, [&koru] { koru.forms.KORU2.mnuCheckForUpdates.Click(); });
    return QApplication::exec();
}
