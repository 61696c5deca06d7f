// Where KORU finds VANTO: its own folder when that holds VANTO.ini, else
// --home, else KORU_HOME, else the current folder.
#include "platform/runtime/App.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct PathCase {
    const char* programHolds; // "file": VANTO.ini, "folder": a folder named so, "": nothing
    bool home;
    bool koruHome;
    const char* expected; // program, home, koruHome or current
};

class AppPathTest : public ::testing::TestWithParam<PathCase> {
protected:
    QTemporaryDir temp;
    QString Folder(const char* name) const {
        const QString path = temp.filePath(QString::fromLatin1(name));
        QDir().mkpath(path);
        return path;
    }
};

} // namespace

TEST_P(AppPathTest, ProgramFolderWithVantoIniWinsThenHomeThenKoruHomeThenCurrent) {
    const PathCase& c = GetParam();
    const QString program = Folder("program");
    if (QByteArray(c.programHolds) == "file") {
        QFile ini(program + QStringLiteral("/VANTO.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    } else if (QByteArray(c.programHolds) == "folder") {
        QDir().mkpath(program + QStringLiteral("/VANTO.ini"));
    }
    // Given with a trailing separator; answered without one.
    const QString home = c.home ? Folder("home") + u'/' : QString();
    const QString koruHome = c.koruHome ? Folder("koruHome") : QString();
    EXPECT_EQ(App::LocatePath(program, home, koruHome, Folder("current")),
              QDir::cleanPath(temp.filePath(QString::fromLatin1(c.expected))));
}

INSTANTIATE_TEST_SUITE_P(Sources, AppPathTest,
                         ::testing::Values(PathCase{"file", true, true, "program"},
                                           PathCase{"folder", true, true, "home"},
                                           PathCase{"", true, true, "home"},
                                           PathCase{"", false, true, "koruHome"},
                                           PathCase{"", false, false, "current"},
                                           PathCase{"file", false, false, "program"}));

TEST(AppPathRuleTest, WithoutAProgramFolderTheOthersDecide) {
    EXPECT_EQ(App::LocatePath({}, {}, u"/srv/vanto/"_qs, u"/tmp"_qs), u"/srv/vanto"_qs);
}

TEST(AppPathRuleTest, AFolderGivenThroughALinkIsWorkedOnWhereItIs) {
    // A versioned install: /opt/vanto -> /opt/vanto-2.13.
    QTemporaryDir temp;
    const QString real = QFileInfo(temp.path()).canonicalFilePath() + u"/vanto-2.13"_qs;
    ASSERT_TRUE(QDir().mkpath(real));
    ASSERT_TRUE(QFile::link(real, temp.filePath(QStringLiteral("vanto"))));
    EXPECT_EQ(App::LocatePath({}, temp.filePath(QStringLiteral("vanto")), {}, u"/tmp"_qs), real);
}
