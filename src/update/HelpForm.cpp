#include "update/HelpForm.h"

#include "platform/EndProgram.h"
#include "update/Forms.h"

HelpForm::HelpForm(Forms& forms) : Form("KORU Help Links"), forms_(forms) {}

void HelpForm::Form_Unload() {
    // The last of the two windows a user can see takes the program with it.
    if (!forms_.KORU2.Visible())
        EndProgram();
}
