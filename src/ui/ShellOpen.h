// The windowed program's shell: "Open" hands a web address to the desktop's
// browser and a mail address to its mail program; nothing else is opened.
#pragma once

#include "platform/runtime/ShellExecute.h"

#include <QUrl>

// The URL the desktop is asked to open for a request's file; empty for none.
QUrl ShellOpenUrl(const ShellExecuteRequest& request);

void ShellOpen(const ShellExecuteRequest& request);
