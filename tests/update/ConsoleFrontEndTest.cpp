// koru-cli as a user runs it: the log on standard output byte for byte, CR LF
// kept, and its exit statuses.
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Result {
    int exitCode;
    QByteArray out;
    QByteArray err;
};

Result RunCli(const QStringList& arguments) {
    QTemporaryDir home;
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KORU_HOME"), home.path());
    cli.setProcessEnvironment(environment);
    cli.start(QStringLiteral(KORU_CLI), arguments);
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

TEST(ConsoleFrontEndTest, BadUsageExitsWith64AndTheUsageText) {
    const Result result = RunCli({QStringLiteral("--no"), QStringLiteral("frobnicate")});
    EXPECT_EQ(result.exitCode, 64);
    EXPECT_EQ(result.out, QByteArray());
    EXPECT_TRUE(result.err.startsWith("koru-cli: unknown command frobnicate\nusage: koru-cli"));
}
