// The help links window KORUHelp1 as the logic sees it: opened from the main
// window's menu, it can outlive the main window.
#pragma once

#include "platform/Form.h"

class Forms;

class HelpForm : public Form {
public:
    explicit HelpForm(Forms& forms);

protected:
    void Form_Unload() override;

private:
    Forms& forms_;
};
