// Where an installed KORU finds VANTO's folder: when the remembered or a
// chosen folder takes over from the usual rule, and the folder dialog's
// answers (a folder without VANTO.ini, cancel) as a user gives them.
#include "update/HomeChoice.h"

#include "platform/runtime/FileDialog.h"
#include "platform/runtime/MsgBox.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class HomeChoiceTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    QByteArray previousConfig = qgetenv("XDG_CONFIG_HOME");

    HomeChoiceTest() {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Folder(QStringLiteral("config"))));
    }
    ~HomeChoiceTest() override { qputenv("XDG_CONFIG_HOME", previousConfig); }

    // A folder under the test's own; with `vanto` it holds VANTO.ini.
    QString Folder(const QString& name, bool vanto = false) const {
        const QString path = temp.filePath(name);
        QDir().mkpath(path);
        if (vanto) {
            QFile ini(path + QStringLiteral("/VANTO.ini"));
            EXPECT_TRUE(ini.open(QIODevice::WriteOnly));
        }
        return path;
    }
    // An install prefix's bin/, as cmake --install and the packages lay it down.
    QString InstalledBin() const {
        QDir().mkpath(temp.filePath(QStringLiteral("prefix/share/doc/koru-cli")));
        QFile copyright(temp.filePath(QStringLiteral("prefix/share/doc/koru-cli/copyright")));
        EXPECT_TRUE(copyright.open(QIODevice::WriteOnly));
        return Folder(QStringLiteral("prefix/bin"));
    }
};

struct NeededCase {
    const char* name;
    bool installed;
    const char* home;
    const char* koruHome;
    bool ownVanto;
    bool currentVanto;
    bool needed;
};

const NeededCase neededCases[] = {
    {"InstalledAwayFromVanto", true, "", "", false, false, true},
    {"CopiedKoruKeepsTheUsualRule", false, "", "", false, false, false},
    {"HomeOptionWins", true, "/srv/vanto", "", false, false, false},
    {"KoruHomeWins", true, "", "/srv/vanto", false, false, false},
    {"CurrentFolderWithVanto", true, "", "", false, true, false},
    {"OwnFolderWithVanto", true, "", "", true, false, false},
};

} // namespace

TEST_F(HomeChoiceTest, TakesOverFromTheUsualRuleOnlyForAnInstalledKoruAwayFromVanto) {
    const QString bin = InstalledBin();
    for (const NeededCase& c : neededCases) {
        SCOPED_TRACE(c.name);
        const QString program = c.installed ? bin : Folder(QStringLiteral("copied/bin"));
        QFile::remove(program + QStringLiteral("/VANTO.ini"));
        if (c.ownVanto)
            Folder(QStringLiteral("prefix/bin"), true);
        const QString current = Folder(QString::fromLatin1(c.name), c.currentVanto);
        EXPECT_EQ(HomeChoice::Needed(program, QString::fromLatin1(c.home),
                                     QString::fromLatin1(c.koruHome), current),
                  c.needed);
    }
}

TEST_F(HomeChoiceTest, AsksUntilTheFolderHoldsVantoAndRemembersIt) {
    const QStringList answers = {Folder(QStringLiteral("empty")),
                                 Folder(QStringLiteral("vanto"), true)};
    qsizetype asked = 0;
    QByteArrayList boxes;
    const FileDialogHandler previousDialog =
        SetFileDialogHandler([&](const FileDialogRequest& request) {
            EXPECT_TRUE(request.folder);
            return FileDialogResult{true, answers.at(asked++), 1};
        });
    const MsgBoxHandler previousBox = SetMsgBoxHandler([&](const MsgBoxRequest& box) {
        boxes.append(box.prompt);
        return vbOK;
    });
    EXPECT_EQ(HomeChoice::Ask(), answers.at(1));
    EXPECT_EQ(asked, 2);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes.first().contains("holds no VANTO.ini")) << boxes.first().constData();
    EXPECT_EQ(HomeChoice::Remembered(), answers.at(1));
    SetFileDialogHandler(previousDialog);
    SetMsgBoxHandler(previousBox);
}

TEST_F(HomeChoiceTest, CancelWritesNothing) {
    const FileDialogHandler previous =
        SetFileDialogHandler([](const FileDialogRequest&) { return FileDialogResult{}; });
    EXPECT_TRUE(HomeChoice::Ask().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(HomeChoice::ConfigFile()));
    EXPECT_TRUE(HomeChoice::Remembered().isEmpty());
    SetFileDialogHandler(previous);
}
