// The modal Save and Open file dialogs behind a seam: the windowed program
// shows a dialog, the console front end and the tests answer through their
// own handler. Without a handler every dialog is cancelled.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

struct FileDialogFilter {
    QByteArray description; // "ZIP"
    QByteArray patterns;    // "*.zip", several separated by ";"
};

struct FileDialogRequest {
    bool save = true;    // the Save dialog, otherwise the Open dialog
    bool folder = false; // a folder is chosen, not a file (save is ignored)
    QByteArray title;    // empty: the platform's own title
    QString initialDir;
    QString initialName;
    QList<FileDialogFilter> filters;
    int filterIndex = 1; // counted from 1
};

struct FileDialogResult {
    bool chosen = false; // false: cancelled or the dialog failed
    QString path;        // the chosen file's or folder's full path
    int filterIndex = 1; // the filter selected when the user chose
};

using FileDialogHandler = std::function<FileDialogResult(const FileDialogRequest&)>;

// Shows a modal file dialog and returns what the user chose.
FileDialogResult ShowFileDialog(const FileDialogRequest& request);

// Installs the handler that answers file dialogs and returns the previous one.
FileDialogHandler SetFileDialogHandler(FileDialogHandler handler);
