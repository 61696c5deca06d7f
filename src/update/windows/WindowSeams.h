// What a window lends the rooms below, which ask nothing themselves: its
// questions through the runtime's message box and save dialog, and staging's
// progress that keeps it painted meanwhile. koru-cli answers the same seams.
#pragma once

#include "update/install/UpdateInstaller.h"

#include <QByteArray>

namespace WindowSeams {

// A Yes/No message box: true for Yes.
bool AskYesNo(const QByteArray& question, const QByteArray& title);

// A fresh save dialog for VANTO's archive: the file chosen, empty when cancelled.
QByteArray ChooseArchiveFile();

// A window's `shown`, after which the window repaints; a window closed
// meanwhile stops the install, which then changes nothing.
UpdateInstaller::Progress Repainting(UpdateInstaller::Progress shown);

} // namespace WindowSeams
