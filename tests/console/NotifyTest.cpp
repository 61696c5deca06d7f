// koru-cli --notify check on a private session bus (dbus-run-session) whose
// notification service is a stand-in: the call names the offered version, its
// action starts koru on the same folder, the same offer is announced once, and
// without a service the check ends as it would.
#include "support/CopyTree.h"
#include "support/LoopbackPort.h"
#include "support/ServerProcess.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class NotifyTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    ServerProcess server;
    std::uint16_t port = UnusedLoopbackPort();
    QString vanto = temp.filePath(QStringLiteral("vanto"));
    QString record = temp.filePath(QStringLiteral("notifications"));
    QString started = temp.filePath(QStringLiteral("koru-started"));

    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")).isEmpty())
            GTEST_SKIP() << "dbus-run-session is not installed (package dbus)";
        CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/vanto"), vanto);
        ASSERT_TRUE(server.Start(QStringLiteral(KORU_SAMPLE_SERVER),
                                 {QStringLiteral(KORU_SAMPLE_DIR "/server"), QString::number(port)},
                                 port));
        // The koru an action starts: it notes its arguments.
        const QString bin = temp.filePath(QStringLiteral("bin"));
        QDir().mkpath(bin);
        WriteFile(bin + QStringLiteral("/koru"),
                  "#!/bin/sh\necho \"$@\" >'" + QFile::encodeName(started) + "'\n");
        QFile::setPermissions(bin + QStringLiteral("/koru"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"),
                           bin + u':' + environment.value(QStringLiteral("PATH")));
        environment.insert(QStringLiteral("XDG_STATE_HOME"),
                           temp.filePath(QStringLiteral("state")));
        environment.insert(QStringLiteral("KORU_NOTIFY_WAIT"), QStringLiteral("20"));
        cli.setProcessEnvironment(environment);
    }

    // --notify before the command, or after it with `last`.
    QStringList CheckArguments(bool last = false) const {
        QStringList arguments{QStringLiteral(KORU_CLI),
                              QStringLiteral("--home"),
                              vanto,
                              QStringLiteral("--server"),
                              QStringLiteral("127.0.0.1:%1").arg(port),
                              QStringLiteral("check")};
        arguments.insert(last ? arguments.size() : arguments.size() - 1, u"--notify"_qs);
        return arguments;
    }

    // Runs the check under the stand-in service, which invokes the action or not.
    int RunOnTestBus(const char* action, bool last = false) {
        cli.start(QStringLiteral("dbus-run-session"),
                  QStringList{QStringLiteral("--"), QStringLiteral(NOTIFICATION_STANDIN), record,
                              QString::fromLatin1(action)} +
                      CheckArguments(last));
        EXPECT_TRUE(cli.waitForFinished(60000));
        return cli.exitCode();
    }

    QProcess cli;
};

} // namespace

TEST_F(NotifyTest, AnnouncesTheOfferOnceAndItsActionOpensKoru) {
    EXPECT_EQ(RunOnTestBus("action"), 0) << cli.readAllStandardError().constData();
    const QByteArrayList calls = ReadFile(record, {}).split('\n');
    ASSERT_EQ(calls.size(), 2) << ReadFile(record, {}).constData();
    EXPECT_TRUE(calls.first().startsWith("KORU|koru|VANTO 2.14 is available|KORU can download "
                                         "VANTO 2.14"))
        << calls.first().constData();
    EXPECT_TRUE(calls.first().endsWith("|default,Open KORU|koru")) << calls.first().constData();
    // The stand-in creates its note before it writes it: wait for the words. The
    // main window opens on the offer, from the same server.
    const QByteArray arguments = "--home " + QFile::encodeName(vanto) +
                                 " --server 127.0.0.1:" + QByteArray::number(port) + " --check\n";
    EXPECT_TRUE(QTest::qWaitFor([&] { return ReadFile(started, {}) == arguments; }, 5000));
    EXPECT_EQ(ReadFile(started, {}), arguments);

    EXPECT_EQ(RunOnTestBus("none", true), 0) << cli.readAllStandardError().constData();
    EXPECT_EQ(ReadFile(record, {}).count('\n'), 1) << "the same offer was announced again";
}

TEST_F(NotifyTest, WithoutANotificationServiceTheCheckEndsAsItWould) {
    auto environment = cli.processEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       u"unix:path="_qs + temp.filePath(QStringLiteral("no-bus")));
    cli.setProcessEnvironment(environment);
    const QStringList arguments = CheckArguments();
    cli.start(arguments.first(), arguments.mid(1));
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 0);
    const QByteArray err = cli.readAllStandardError();
    EXPECT_TRUE(err.startsWith("koru-cli: no desktop notification service")) << err.constData();
    EXPECT_EQ(err.count('\n'), 1) << err.constData();
}
