// The options taken before the mode choice: what they consume, what they
// leave for the mode rule, what they refuse, and what they hand on.
#include "app/StartOptions.h"

#include "BuildConfig.h"
#include "platform/runtime/App.h"
#include "update/net/UpdateServer.h"
#include "update/windows/MainForm.h"
#include "update/windows/UpdateState.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ParseCase {
    const char* line; // <dir> stands for an existing folder named .../update-dir
    const char* rest;
    bool quick; // the mode rule on what is left
    const char* home = "";
    const char* server = "";
    const char* problem = "";
    bool help = false;
    bool version = false;
    bool check = false;
};

class StartOptionsParseTest : public ::testing::TestWithParam<ParseCase> {
protected:
    QTemporaryDir temp;
    QString dir = temp.filePath(QStringLiteral("update-dir"));
    StartOptionsParseTest() { QDir().mkpath(dir); }
    QString Fill(const char* text) const {
        return QString::fromUtf8(text).replace(u"<dir>"_qs, dir);
    }
};

} // namespace

TEST_P(StartOptionsParseTest, ConsumesOptionsAndLeavesTheCommandLineToTheModeRule) {
    const ParseCase& c = GetParam();
    const StartOptions options = StartOptions::Parse(Fill(c.line).split(u' ', Qt::SkipEmptyParts));
    EXPECT_EQ(options.rest.join(u' '), Fill(c.rest));
    EXPECT_EQ(options.home, Fill(c.home));
    EXPECT_EQ(options.server, QByteArray(c.server));
    EXPECT_EQ(options.problem, Fill(c.problem).toLocal8Bit());
    EXPECT_EQ(options.help, c.help);
    EXPECT_EQ(options.version, c.version);
    EXPECT_EQ(options.check, c.check);
    SetCommand(options.rest);
    EXPECT_EQ(MainForm::QuickModeRequested(Command()), c.quick);
    SetCommand({});
}

INSTANTIATE_TEST_SUITE_P(
    Lines, StartOptionsParseTest,
    ::testing::Values(
        ParseCase{"", "", false}, ParseCase{"update", "update", true},
        ParseCase{"-x --Updates now", "-x --Updates now", true},
        ParseCase{"--home <dir>", "", false, "<dir>"},
        ParseCase{"--home=<dir> /UPDATE", "/UPDATE", true, "<dir>"},
        ParseCase{"Update --server update.mirror.example:8080", "Update", true, "",
                  "update.mirror.example:8080"},
        ParseCase{"--server=update.example", "", false, "", "update.example"},
        ParseCase{"--homes --server-x", "--homes --server-x", false},
        ParseCase{"--check --home <dir>", "", false, "<dir>", "", "", false, false, true},
        // Only the values of --home and --server are no mode word.
        ParseCase{"-style Update -reverse", "-style Update -reverse", true},
        ParseCase{"-platform offscreen --title Update", "-platform offscreen --title Update", true},
        ParseCase{"-platform offscreen --style=update", "-platform offscreen --style=update", true},
        ParseCase{"-stylesheet a -qwindowtitle b", "-stylesheet a -qwindowtitle b", false},
        ParseCase{"--home <dir> -title", "-title", false, "<dir>"},
        ParseCase{"-- --help --home", "--help --home", false},
        ParseCase{"--version update --help", "update", true, "", "", "", true, true},
        ParseCase{"update --home", "update", true, "", "", "--home needs DIR"},
        ParseCase{"--home <dir>/none", "", false, "", "", "--home <dir>/none: no such folder"},
        ParseCase{"--home= --home <dir>", "", false, "<dir>", "", "--home : no such folder"},
        ParseCase{"--server", "", false, "", "", "--server needs HOST[:PORT]"},
        ParseCase{"--server h:0", "", false, "", "",
                  "--server h:0: not HOST or HOST:PORT with a port from 1 to 65535"},
        ParseCase{"--server h:65536", "", false, "", "",
                  "--server h:65536: not HOST or HOST:PORT with a port from 1 to 65535"},
        ParseCase{"--server :80", "", false, "", "",
                  "--server :80: not HOST or HOST:PORT with a port from 1 to 65535"},
        ParseCase{"--server=a/b", "", false, "", "",
                  "--server a/b: not HOST or HOST:PORT with a port from 1 to 65535"}));

TEST(StartOptionsTest, QtsCaptionOptionsAreToldApart) {
    const QStringList line{u"-title"_qs, u"X"_qs,      u"--qwindowtitle"_qs,
                           u"Y"_qs,      u"-style"_qs, u"Z"_qs};
    for (const qsizetype at : {0, 2, 4})
        EXPECT_EQ(StartOptions::QtOptionAt(line, at).title, at < 4) << at;
}

// Qt would take "-style Update" for a style it lacks, "-platform update" for
// a platform: an option holding the mode word is the mode choice's alone.
TEST(StartOptionsTest, QtIsGivenNeitherItsCaptionOptionsNorThoseHoldingTheModeWord) {
    const QStringList line{u"-style"_qs,    u"Update"_qs, u"-reverse"_qs, u"-platform"_qs,
                           u"offscreen"_qs, u"-title"_qs, u"X"_qs,        u"-style=UPDATE"_qs,
                           u"--server"_qs,  u"update"_qs, u"-platform"_qs};
    EXPECT_EQ(StartOptions::ForQt(line, &MainForm::QuickModeRequested),
              (QList<qsizetype>{2, 3, 4, 8, 9, 10}));
}

TEST(StartOptionsTest, AnswersProblemThenHelpThenVersionAndOtherwiseLetsTheProgramGoOn) {
    struct Case {
        StartOptions options;
        std::optional<int> status;
        QByteArray out;
        QByteArray err;
    };
    StartOptions problem;
    problem.problem = "--home needs DIR";
    problem.help = true;
    StartOptions help;
    help.help = help.version = true;
    StartOptions version;
    version.version = true;
    const Case cases[] = {
        {problem, 64, "", "koru: --home needs DIR\nTry 'koru --help'.\n"},
        {help, 0, "USAGE", ""},
        {version, 0, "koru " KORU_VERSION "\n", ""},
        {StartOptions(), std::nullopt, "", ""},
    };
    for (const Case& c : cases) {
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        EXPECT_EQ(c.options.Answer(out, err, "koru", "USAGE"), c.status);
        EXPECT_EQ(out.data(), c.out);
        EXPECT_EQ(err.data(), c.err);
    }
}

TEST(StartOptionsTest, ApplyHandsOnHomeAndServerAndAnAbsentOptionClearsThem) {
    QTemporaryDir home;
    StartOptions options;
    options.home = home.path();
    options.server = "127.0.0.1:8080";
    qputenv("KORU_SERVER", "127.0.0.1:9");
    options.Apply();
    EXPECT_EQ(App::Path(), QDir::cleanPath(home.path()));
    EXPECT_EQ(UpdateServerHost(), QByteArray("127.0.0.1:8080"));
    StartOptions().Apply();
    EXPECT_NE(App::Path(), QDir::cleanPath(home.path()));
    EXPECT_EQ(UpdateServerHost(), QByteArray("127.0.0.1:9"));
    qunsetenv("KORU_SERVER");
    EXPECT_EQ(UpdateServerHost(), QByteArray(KORU_SERVER_HOST));
}

TEST(StartOptionsTest, KoruUsageNamesBothModesTheOptionsAndTheEnvironment) {
    const QByteArray usage = StartOptions::KoruUsage();
    for (const char* part : {"usage: koru ", "quick update window", "--home DIR", "--server HOST",
                             "--help", "--version", "KORU_HOME", "KORU_SERVER", KORU_SERVER_HOST})
        EXPECT_TRUE(usage.contains(part)) << part;
}
