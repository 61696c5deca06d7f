// The windowed program: the three windows over their logic, message boxes as
// dialogs, and ending the program as closing every window.
#pragma once

#include "platform/runtime/EndProgram.h"
#include "platform/runtime/FileDialog.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/ShellExecute.h"
#include "ui/KORU1.h"
#include "ui/KORU2.h"
#include "ui/KORUHelp1.h"
#include "update/windows/Forms.h"

class KoruApplication {
public:
    // Installs the program's icon, message boxes, file dialogs, shell and ending, and
    // builds the windows.
    KoruApplication();
    ~KoruApplication();
    KoruApplication(const KoruApplication&) = delete;
    KoruApplication& operator=(const KoruApplication&) = delete;

    // Shows the main window, whose load picks the mode from the command line.
    // In quick mode this returns only once the quick window has closed.
    void Start();

    Forms forms;
    KORU2 koru2{forms.KORU2};
    KORU1 koru1{forms.KORU1};
    KORUHelp1 koruHelp1{forms.KORUHelp1};

private:
    MsgBoxHandler previousMsgBox_;
    FileDialogHandler previousFileDialog_;
    ShellExecuteHandler previousShell_;
    EndProgramHandler previousEnd_;
};
