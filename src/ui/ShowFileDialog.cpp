#include "ui/ShowFileDialog.h"

#include "ui/Looks.h"

#include <QApplication>
#include <QFileDialog>

QStringList NameFilters(const QList<FileDialogFilter>& filters) {
    QStringList names;
    for (const FileDialogFilter& filter : filters) {
        QByteArray patterns = filter.patterns;
        patterns.replace(';', ' ');
        names.append(ScreenText(filter.description) + QStringLiteral(" (") + ScreenText(patterns) +
                     u')');
    }
    return names;
}

FileDialogResult ShowQtFileDialog(const FileDialogRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), ScreenText(request.title), request.initialDir);
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (request.folder) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
    }
    const QStringList names = NameFilters(request.filters);
    if (!names.isEmpty()) {
        dialog.setNameFilters(names);
        dialog.selectNameFilter(names.value(request.filterIndex - 1, names.first()));
    }
    if (!request.initialName.isEmpty())
        dialog.selectFile(request.initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const auto selected = int(names.indexOf(dialog.selectedNameFilter()));
    return {true, dialog.selectedFiles().first(),
            selected < 0 ? request.filterIndex : selected + 1};
}
