#include "ui/ShellOpen.h"

#include "platform/runtime/ByteText.h"

#include <QDesktopServices>
#include <QDir>

QUrl ShellOpenUrl(const ShellExecuteRequest& request) {
    const QString file = DisplayText(request.file).trimmed();
    if (file.isEmpty())
        return {};
    // Like the shell: an existing file (relative to the directory given, or
    // the current one) opens as a file, anything else is taken for an address.
    const QString directory =
        request.directory.isEmpty() ? QDir::currentPath() : DisplayText(request.directory);
    return QUrl::fromUserInput(file, directory);
}

void ShellOpen(const ShellExecuteRequest& request) {
    // Only "Open" is offered; the show command has no say over another program's window.
    const QUrl url = ShellOpenUrl(request);
    if (request.operation.compare("open", Qt::CaseInsensitive) == 0 && url.isValid())
        QDesktopServices::openUrl(url);
}
