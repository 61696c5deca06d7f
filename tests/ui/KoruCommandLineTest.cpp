// koru as a user starts it from a console: --help and --version answered
// without a display, bad usage refused, and a start without a display told in
// one line instead of Qt's abort. And the window icon is the installed one.
#include "BuildConfig.h"
#include "ui/DisplayCheck.h"
#include "ui/KoruIcon.h"

#include <QImage>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct StartCase {
    QStringList arguments;
    int exitCode;
    QByteArray out; // the start of standard output
    QByteArray err; // the start of standard error
};

class KoruCommandLineTest : public ::testing::TestWithParam<StartCase> {};

} // namespace

TEST_P(KoruCommandLineTest, AnswersBeforeAnyWindowAndWithoutADisplay) {
    const StartCase& c = GetParam();
    QProcess koru;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(variable));
    koru.setProcessEnvironment(environment);
    koru.start(QStringLiteral(KORU_GUI), c.arguments);
    ASSERT_TRUE(koru.waitForFinished(30000));
    EXPECT_EQ(koru.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(koru.exitCode(), c.exitCode);
    const QByteArray out = koru.readAllStandardOutput();
    const QByteArray err = koru.readAllStandardError();
    EXPECT_TRUE(out.startsWith(c.out) && out.isEmpty() == c.out.isEmpty()) << out.constData();
    EXPECT_TRUE(err.startsWith(c.err) && err.isEmpty() == c.err.isEmpty()) << err.constData();
}

INSTANTIATE_TEST_SUITE_P(
    Lines, KoruCommandLineTest,
    ::testing::Values(
        StartCase{{u"--version"_qs}, 0, "koru " KORU_VERSION "\n", ""},
        StartCase{{u"update"_qs, u"--help"_qs}, 0, "usage: koru [OPTION]... [update]\n", ""},
        StartCase{{}, 1, "", NoDisplayMessage()},
        StartCase{{u"/UPDATE"_qs}, 1, "", NoDisplayMessage()},
        StartCase{{u"--server"_qs, u"h:0"_qs}, 64, "", "koru: --server h:0: not HOST"}));

TEST(KoruCommandLineTest, NoDisplayMessageIsOneLineNamingKoruCli) {
    const QByteArray message = NoDisplayMessage();
    EXPECT_EQ(message.count('\n'), 1);
    EXPECT_TRUE(message.endsWith('\n'));
    EXPECT_TRUE(message.contains("koru-cli"));
}

TEST(KoruIconTest, TheWindowIconIsTheInstalledPicture) {
    const QImage window =
        KoruIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage installed =
        QImage(QStringLiteral(KORU_ICON_32)).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(window.size(), QSize(32, 32));
    EXPECT_EQ(window, installed);
}
