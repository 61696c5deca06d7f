// The file dialog wrapper: its defaults, the two forms of Filter, what a
// cancelled dialog does, and the shape of a chosen file's properties.
#include "platform/runtime/OpenSave.h"

#include "platform/runtime/App.h"
#include "platform/runtime/FileDialog.h"
#include "platform/runtime/RuntimeError.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

class OpenSaveTest : public ::testing::Test {
protected:
    OpenSaveTest()
        : previous_(SetFileDialogHandler([this](const FileDialogRequest& request) {
              requests.append(request);
              return answer;
          })) {}
    ~OpenSaveTest() override { SetFileDialogHandler(std::move(previous_)); }

    FileDialogResult answer; // cancelled unless a test chooses
    QList<FileDialogRequest> requests;

private:
    FileDialogHandler previous_;
};

TEST_F(OpenSaveTest, FreshObjectHasTheDefaults) {
    const OpenSave dialog;
    EXPECT_EQ(dialog.Filter(), QByteArray("SNES|*.smc;*.swc;*.fig|All Files (*.*)|*.*"));
    EXPECT_EQ(dialog.FilterIndex(), 1);
    EXPECT_EQ(dialog.MaxFileSize(), 260);
    EXPECT_EQ(dialog.InitDir(), QFile::encodeName(App::Path()));
    EXPECT_EQ(dialog.hwnd(), 0);
    EXPECT_EQ(dialog.Flags(), 0);
    EXPECT_FALSE(dialog.CancelError());
    EXPECT_EQ(dialog.FileExt(), 0);
    for (const QByteArray& text :
         {dialog.FileName(), dialog.FileTitle(), dialog.DialogTitle(), dialog.DefaultExt()})
        EXPECT_TRUE(text.isEmpty());
}

struct FilterCase {
    QByteArray written;
    QByteArray read;
    QList<QByteArray> offered; // description, patterns, ...
};

class FilterFormTest : public OpenSaveTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(FilterFormTest, ReadsBackAndReachesTheDialog) {
    OpenSave dialog;
    dialog.SetFilter(GetParam().written);
    EXPECT_EQ(dialog.Filter(), GetParam().read);
    dialog.ShowSave();
    ASSERT_EQ(requests.size(), 1);
    QList<QByteArray> offered;
    for (const FileDialogFilter& filter : requests[0].filters)
        offered << filter.description << filter.patterns;
    EXPECT_EQ(offered, GetParam().offered);
}

INSTANTIATE_TEST_SUITE_P(Forms, FilterFormTest,
                         ::testing::Values(FilterCase{"ZIP|*.zip", "ZIP|*.zip", {"ZIP", "*.zip"}},
                                           FilterCase{"ZIP|*.zip|", "ZIP|*.zip", {"ZIP", "*.zip"}},
                                           FilterCase{"", "", {}},
                                           FilterCase{"Text|*.txt;*.log|All|*.*",
                                                      "Text|*.txt;*.log|All|*.*",
                                                      {"Text", "*.txt;*.log", "All", "*.*"}}));

TEST_F(OpenSaveTest, CancelLeavesEverythingAsItWas) {
    OpenSave dialog;
    dialog.SetFileName("before.zip");
    dialog.ShowSave();
    EXPECT_EQ(dialog.FileName(), QByteArray("before.zip"));
    EXPECT_EQ(dialog.FileExt(), 0);
    ASSERT_EQ(requests.size(), 1);
    EXPECT_TRUE(requests[0].save);
    EXPECT_EQ(requests[0].initialName, QStringLiteral("before.zip"));
    EXPECT_EQ(requests[0].initialDir, App::Path());
}

TEST_F(OpenSaveTest, CancelWithCancelErrorRaises32755) {
    OpenSave dialog;
    dialog.SetCancelError(true);
    try {
        dialog.ShowOpen();
        FAIL() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), 32755);
        EXPECT_EQ(e.Description(), QByteArray("Cancel was selected"));
        EXPECT_EQ(e.Source(), QByteArray("Run-time error"));
    }
    EXPECT_TRUE(dialog.FileName().isEmpty());
    ASSERT_EQ(requests.size(), 1);
    EXPECT_FALSE(requests[0].save);
}

TEST_F(OpenSaveTest, WithoutAHandlerTheDialogIsCancelled) {
    const FileDialogHandler ours = SetFileDialogHandler({});
    OpenSave dialog;
    dialog.ShowSave();
    EXPECT_TRUE(dialog.FileName().isEmpty());
    SetFileDialogHandler(ours);
}

TEST_F(OpenSaveTest, ChosenFileComesBackPaddedWithNuls) {
    answer = {true, QStringLiteral("/c/a/b.zip"), 2};
    OpenSave dialog;
    dialog.SetDialogTitle("Save as");
    dialog.ShowSave();
    EXPECT_EQ(dialog.FileName(), "/c/a/b.zip" + QByteArray(261 - 10, '\0'));
    EXPECT_EQ(dialog.FileTitle(), QByteArray("b.zip\0", 6));
    EXPECT_EQ(TextBeforeNul(dialog.FileName()), QByteArray("/c/a/b.zip"));
    EXPECT_EQ(dialog.FileExt(), 7);
    EXPECT_EQ(dialog.FilterIndex(), 2);
    EXPECT_EQ(dialog.Filter(), QByteArray("SNES|*.smc;*.swc;*.fig|All Files (*.*)|*.*"));
    EXPECT_EQ(requests[0].title, QByteArray("Save as"));
}

TEST_F(OpenSaveTest, NameWithoutExtensionPointsPastItsEnd) {
    answer = {true, QStringLiteral("/c/a.b/readme"), 1};
    OpenSave dialog;
    dialog.ShowSave();
    EXPECT_EQ(dialog.FileExt(), 13);
}

TEST_F(OpenSaveTest, FileNameLongerThanItsBufferIsRefusedBeforeTheDialog) {
    OpenSave dialog;
    dialog.SetMaxFileSize(10);
    dialog.SetFileName(QByteArray(11, 'n')); // exactly fills the buffer
    dialog.ShowSave();
    dialog.SetFileName(QByteArray(12, 'n'));
    try {
        dialog.ShowSave();
        FAIL() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), 5);
    }
    EXPECT_EQ(requests.size(), 1);
}

TEST_F(OpenSaveTest, PathThatDoesNotFitTheBufferFailsTheDialog) {
    answer = {true, QStringLiteral("/a/much/too/long.zip"), 1};
    OpenSave dialog;
    dialog.SetMaxFileSize(10);
    dialog.SetCancelError(true);
    EXPECT_THROW(dialog.ShowSave(), RuntimeError);
    EXPECT_TRUE(dialog.FileName().isEmpty());
}

} // namespace
