#include "ui/ShellOpen.h"

#include "update/windows/HelpForm.h"

#include <QDesktopServices>

QUrl ShellOpenUrl(const ShellExecuteRequest& request) {
    // Only what the help links window lets through: the desktop opens a file
    // or runs a program as readily as it shows a page.
    return HelpForm::WebAddress(request.file);
}

void ShellOpen(const ShellExecuteRequest& request) {
    // Only "Open" is offered; the show command has no say over another program's window.
    const QUrl url = ShellOpenUrl(request);
    if (request.operation.compare("open", Qt::CaseInsensitive) == 0 && url.isValid())
        QDesktopServices::openUrl(url);
}
