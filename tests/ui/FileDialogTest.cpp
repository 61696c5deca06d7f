// The windowed file dialog: the request's folder, filters and title as the
// user sees them, and the file chosen or the cancel as the answer.
#include "ui/ShowFileDialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct Seen {
    QString title;
    QString directory;
    QStringList filters;
    QString selectedFilter;
    bool save = false;
    bool confirmsOverwrite = true;
};

// Acts on the next file dialog: chooses `file`, or cancels when it is empty.
void AnswerNextDialog(Seen& seen, const QString& file) {
    QTimer::singleShot(0, [&seen, file] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        seen = {dialog->windowTitle(),
                dialog->directory().absolutePath(),
                dialog->nameFilters(),
                dialog->selectedNameFilter(),
                dialog->acceptMode() == QFileDialog::AcceptSave,
                !dialog->testOption(QFileDialog::DontConfirmOverwrite)};
        if (file.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(file);
        // accept() is protected in QFileDialog; as a slot it can still be invoked.
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

FileDialogRequest SaveRequest(const QString& folder) {
    FileDialogRequest request;
    request.title = "Save VANTO";
    request.initialDir = folder;
    request.filters = {{"SNES", "*.smc;*.swc"}, {"ZIP", "*.zip"}};
    request.filterIndex = 2;
    return request;
}

} // namespace

TEST(FileDialogTest, FiltersShowAsDescriptionAndPatterns) {
    EXPECT_EQ(
        NameFilters({{"ZIP", "*.zip"}, {"SNES", "*.smc;*.swc;*.fig"}}),
        (QStringList{QStringLiteral("ZIP (*.zip)"), QStringLiteral("SNES (*.smc *.swc *.fig)")}));
}

TEST(FileDialogTest, ChosenFileIsTheAnswer) {
    QTemporaryDir folder;
    Seen seen;
    const QString file = folder.filePath(QStringLiteral("update.zip"));
    AnswerNextDialog(seen, file);
    const FileDialogResult result = ShowQtFileDialog(SaveRequest(folder.path()));
    EXPECT_TRUE(result.chosen);
    EXPECT_EQ(result.path, file);
    EXPECT_EQ(result.filterIndex, 2);
    EXPECT_EQ(seen.title, QStringLiteral("Save VANTO"));
    EXPECT_EQ(seen.directory, QDir(folder.path()).absolutePath());
    EXPECT_EQ(seen.filters, NameFilters(SaveRequest(folder.path()).filters));
    EXPECT_EQ(seen.selectedFilter, QStringLiteral("ZIP (*.zip)"));
    EXPECT_TRUE(seen.save);
    EXPECT_FALSE(seen.confirmsOverwrite); // KORU asks itself
}

TEST(FileDialogTest, CancelIsNoChoice) {
    QTemporaryDir folder;
    Seen seen;
    AnswerNextDialog(seen, {});
    EXPECT_FALSE(ShowQtFileDialog(SaveRequest(folder.path())).chosen);
}
