#include "ui/KoruApplication.h"

#include "ui/KoruIcon.h"
#include "ui/ShellOpen.h"
#include "ui/ShowFileDialog.h"
#include "ui/ShowMessageBox.h"

#include <QApplication>

KoruApplication::KoruApplication() {
    // The closing rules decide when the program ends, not the last window.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(KoruIcon());
    previousMsgBox_ = SetMsgBoxHandler(ShowMessageBox);
    previousFileDialog_ = SetFileDialogHandler(ShowQtFileDialog);
    previousShell_ = SetShellExecuteHandler(ShellOpen);
    previousEnd_ = SetEndProgramHandler([] {
        // Hiding also ends a modal window's loop, so a modal start-up returns.
        for (QWidget* window : QApplication::topLevelWidgets())
            window->hide();
        QCoreApplication::exit(0);
    });
}

KoruApplication::~KoruApplication() {
    SetMsgBoxHandler(std::move(previousMsgBox_));
    SetFileDialogHandler(std::move(previousFileDialog_));
    SetShellExecuteHandler(std::move(previousShell_));
    SetEndProgramHandler(std::move(previousEnd_));
}

void KoruApplication::Start() {
    forms.KORU2.Show();
}
