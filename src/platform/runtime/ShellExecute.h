// The desktop shell's "open this" call behind a seam: the windowed program
// hands the file to the desktop (a URL to the browser, a file to its
// program), tests record the call. Without a handler nothing is opened.
#pragma once

#include <QByteArray>
#include <functional>

enum ShowWindowCommand : int {
    SW_SHOWNORMAL = 1,
    SW_SHOWMINIMIZED = 2,
};

struct ShellExecuteRequest {
    QByteArray operation; // "Open"
    QByteArray file;
    QByteArray parameters;
    QByteArray directory;
    int showCommand = SW_SHOWNORMAL;
};

using ShellExecuteHandler = std::function<void(const ShellExecuteRequest&)>;

// Asks the shell to carry out `operation` on `file`. The owner window only
// parents the shell's own error dialogs, which ours has none of.
void ShellExecute(const void* ownerWindow, const QByteArray& operation, const QByteArray& file,
                  const QByteArray& parameters, const QByteArray& directory, int showCommand);

// Installs the handler that carries out the calls and returns the previous one.
ShellExecuteHandler SetShellExecuteHandler(ShellExecuteHandler handler);
