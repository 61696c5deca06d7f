// The program's three windows as the logic sees them. Each exists once and the
// logic addresses it by its name.
#pragma once

#include "update/windows/HelpForm.h"
#include "update/windows/MainForm.h"
#include "update/windows/QuickForm.h"

class Forms {
public:
    Forms();
    Forms(const Forms&) = delete;
    Forms& operator=(const Forms&) = delete;

    MainForm KORU2;
    QuickForm KORU1;
    HelpForm KORUHelp1;
};
