// The windowed program's file dialogs: the FileDialog seam answered by a
// modal QFileDialog with the title, the folder, the name and the filters
// ("ZIP|*.zip" shows as "ZIP (*.zip)"). The dialog neither adds an ending
// nor asks about existing files; the caller does both.
#pragma once

#include "platform/runtime/FileDialog.h"

#include <QStringList>

FileDialogResult ShowQtFileDialog(const FileDialogRequest& request);

// The filters as the dialog lists them.
QStringList NameFilters(const QList<FileDialogFilter>& filters);
