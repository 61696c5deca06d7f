// Where an installed KORU finds VANTO's folder: when the remembered or a
// chosen folder takes over from the usual rule, and the folder dialog's
// answers (cancel, a folder without VANTO.ini) as a user gives them.
#include "app/HomeChoice.h"

#include "platform/runtime/FileDialog.h"
#include "platform/runtime/MsgBox.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class HomeChoiceTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    QByteArray previousConfig = qgetenv("XDG_CONFIG_HOME");

    HomeChoiceTest() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.filePath(u"config"_qs))); }
    ~HomeChoiceTest() override { qputenv("XDG_CONFIG_HOME", previousConfig); }

    // A folder under the test's own; with `vanto` it holds VANTO.ini.
    QString Folder(const QString& name, bool vanto = false) const {
        QDir().mkpath(temp.filePath(name));
        if (vanto)
            WriteFile(temp.filePath(name + u"/VANTO.ini"_qs), {});
        return temp.filePath(name);
    }
};

} // namespace

TEST_F(HomeChoiceTest, TakesOverFromTheUsualRuleOnlyForAnInstalledKoruAwayFromVanto) {
    WriteFile(Folder(u"prefix/share/doc/koru-cli"_qs) + u"/copyright"_qs, {});
    const QString bin = Folder(u"prefix/bin"_qs);
    const QString away = Folder(u"away"_qs);
    EXPECT_TRUE(HomeChoice::Needed(bin, {}, {}, away));
    EXPECT_FALSE(HomeChoice::Needed(Folder(u"copied/bin"_qs), {}, {}, away)) << "a copied KORU";
    EXPECT_FALSE(HomeChoice::Needed(bin, u"/srv/vanto"_qs, {}, away)) << "--home";
    EXPECT_FALSE(HomeChoice::Needed(bin, {}, u"/srv/vanto"_qs, away)) << "KORU_HOME";
    EXPECT_FALSE(HomeChoice::Needed(bin, {}, {}, Folder(u"vanto"_qs, true))) << "current folder";
    EXPECT_FALSE(HomeChoice::Needed(Folder(u"prefix/bin"_qs, true), {}, {}, away)) << "own folder";
}

TEST_F(HomeChoiceTest, CancelWritesNothingAndAChosenFolderMustHoldVanto) {
    QStringList answers = {QString(), Folder(u"empty"_qs), Folder(u"vanto"_qs, true)};
    QByteArrayList boxes;
    const FileDialogHandler previousDialog = SetFileDialogHandler([&](const FileDialogRequest& r) {
        EXPECT_TRUE(r.folder);
        const QString answer = answers.takeFirst();
        return FileDialogResult{!answer.isEmpty(), answer, 1};
    });
    const MsgBoxHandler previousBox = SetMsgBoxHandler([&](const MsgBoxRequest& box) {
        boxes.append(box.prompt);
        return vbOK;
    });
    EXPECT_EQ(HomeChoice::Ask(), QString());
    EXPECT_FALSE(QFileInfo::exists(HomeChoice::ConfigFile()));
    EXPECT_EQ(HomeChoice::Ask(), temp.filePath(u"vanto"_qs));
    EXPECT_TRUE(answers.isEmpty());
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes.first().contains("empty holds no VANTO.ini")) << boxes.first().constData();
    EXPECT_EQ(HomeChoice::Remembered(), temp.filePath(u"vanto"_qs));
    SetFileDialogHandler(previousDialog);
    SetMsgBoxHandler(previousBox);
}
