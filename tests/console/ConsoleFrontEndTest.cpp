// koru-cli as a user runs it: the log on standard output byte for byte, CR LF
// kept, its exit statuses, its version and where it finds VANTO.
#include "BuildConfig.h"
#include "support/TestVantoHome.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Result {
    int exitCode;
    QByteArray out;
    QByteArray err;
};

// Runs koru-cli with KORU_HOME naming an empty folder.
Result RunCli(const QStringList& arguments, const QString& program = QStringLiteral(KORU_CLI)) {
    QTemporaryDir home;
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KORU_HOME"), home.path());
    cli.setProcessEnvironment(environment);
    cli.start(program, arguments);
    EXPECT_TRUE(cli.waitForFinished(60000));
    return {cli.exitCode(), cli.readAllStandardOutput(), cli.readAllStandardError()};
}

} // namespace

TEST(ConsoleFrontEndTest, PrintsTheLogAfterEachCommandByteForByte) {
    const Result result =
        RunCli({QStringLiteral("patches"), QStringLiteral("search"), QStringLiteral("patches")});
    const QByteArray separator = QByteArray(38, '-') + "\r\n";
    const QByteArray patches =
        "A list of downloadable public patches for you to use.  Some of these will be intended as "
        "full hacks.  Others will simply add a feature or two to your ROM.\r\nSome patches will "
        "include the ASM used to make the patch.  A description accompanies each patch so you "
        "know what to expect.\r\n\r\nTHIS FEATURE IS NOT YET AVAILABLE.\r\n" +
        separator;
    const QByteArray search = "Search KORU's Database of VANTO information.\r\nTHIS FEATURE IS "
                              "NOT YET AVAILABLE.\r\n" +
                              separator;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, patches + search + patches);
    EXPECT_EQ(result.err, QByteArray());
}

TEST(ConsoleFrontEndTest, BadUsageExitsWith64AndOneLinePointingToTheHelp) {
    const Result result = RunCli({QStringLiteral("--no"), QStringLiteral("frobnicate")});
    EXPECT_EQ(result.exitCode, 64);
    EXPECT_EQ(result.out, QByteArray());
    EXPECT_EQ(result.err, "koru-cli: unknown command frobnicate\nTry 'koru-cli --help'.\n");
}

TEST(ConsoleFrontEndTest, VersionAndHelpPrintAndExitWithoutRunningAnything) {
    const Result version = RunCli({QStringLiteral("--version"), QStringLiteral("check")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QByteArray("koru-cli " KORU_VERSION "\n"));
    const Result help = RunCli({QStringLiteral("-h")});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* part : {"usage: koru-cli", "--home DIR", "--server HOST", "KORU_SERVER"})
        EXPECT_TRUE(help.out.contains(part)) << part;
    const Result bad = RunCli({QStringLiteral("--server"), QStringLiteral("h:0"), u"search"_qs});
    EXPECT_EQ(bad.exitCode, 64);
    EXPECT_EQ(bad.out, QByteArray());
}

// KORU_HOME names an empty folder in each case; only the VANTO folder has VANTO.ini.
TEST(ConsoleFrontEndTest, FindsVantoInItsOwnFolderThenThroughHome) {
    const TestVantoHome vanto; // also points KORU_SERVER at a closed port
    const QString copy = vanto.filePath("koru-cli");
    ASSERT_TRUE(QFile::copy(QStringLiteral(KORU_CLI), copy));
    const struct {
        QString program;
        QStringList arguments;
        bool found;
    } cases[] = {
        {copy, {u"check"_qs}, true},
        {QStringLiteral(KORU_CLI), {u"--home"_qs, vanto.path(), u"check"_qs}, true},
        {QStringLiteral(KORU_CLI), {u"check"_qs}, false},
    };
    for (const auto& c : cases) {
        const Result result = RunCli(c.arguments, c.program);
        EXPECT_EQ(result.exitCode, 2) << c.program.toStdString(); // the closed server
        EXPECT_EQ(result.out.contains("NO VALID VANTO.INI FOUND!"), !c.found)
            << c.program.toStdString() << ' ' << c.arguments.join(u' ').toStdString();
    }
}

// The kill-loop tests' stop points live in their own program: no variable
// can end the one users run in the middle of a swap.
TEST(ConsoleFrontEndTest, ShipsNoStopPointOfTheSwap) {
    QFile program(QStringLiteral(KORU_CLI));
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    EXPECT_FALSE(program.readAll().contains("KORU_SWAP_STOP_AFTER"));
}
