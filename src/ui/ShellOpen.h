// The windowed program's shell: "Open" hands a URL to the desktop's browser
// and a file to the program the desktop opens it with.
#pragma once

#include "platform/runtime/ShellExecute.h"

#include <QUrl>

// The URL the desktop is asked to open for a request's file; empty for none.
QUrl ShellOpenUrl(const ShellExecuteRequest& request);

void ShellOpen(const ShellExecuteRequest& request);
