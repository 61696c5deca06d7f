// Two KORUs on one VANTO folder take turns with its scratch files: a command
// that uses them waits while another holds them, says so once, and runs when
// the other has finished. The other KORU is a lock held by the test.
#include "platform/runtime/FolderLock.h"
#include "support/CheckFixture.h"

#include <QProcess>
#include <QTimer>
#include <functional>

namespace {

const QByteArray waitingNotice = "Waiting for another KORU to finish its work in this folder...";

class ScratchFilesLockTest : public CheckFixture {
protected:
    ScratchFilesLockTest() {
        Publish();
        EXPECT_TRUE(other.TryLock(FolderLock::Exclusive));
    }

    FolderLock other{home.path(), "scratch"};
};

TEST_F(ScratchFilesLockTest, CommandsThatUseTheScratchFilesWaitTheirTurn) {
    const struct {
        const char* name;
        std::function<void(MainForm&)> click;
    } commands[] = {
        {"check", [](MainForm& f) { f.mnuCheckForUpdates.Click(); }},
        {"help links", [](MainForm& f) { f.mnuAvailableDownload(1).Click(); }},
        {"all",
         [](MainForm& f) {
             f.mnuDownload.Click();
             f.mnuAllAvailableUpdates.Click();
         }},
    };
    for (const auto& command : commands) {
        SharedState().serviceMode = serviceOn;
        Write("files/temp/ver.tmp", "HL0008\r\n");
        main().mnuAvailableDownload(1).SetEnabled(true);
        ASSERT_TRUE(other.TryLock(FolderLock::Exclusive));
        const qsizetype requestsBefore = server.requestLines().size();
        qsizetype requestsWhileHeld = -1;
        QByteArray logWhileHeld;
        bool updatesWhileHeld = true;
        QTimer::singleShot(300, [&] {
            requestsWhileHeld = server.requestLines().size() - requestsBefore;
            logWhileHeld = Log();
            updatesWhileHeld = main().mnuUpdate.Enabled();
            other.Unlock();
        });
        command.click(main());
        EXPECT_EQ(requestsWhileHeld, 0) << command.name;
        EXPECT_EQ(logWhileHeld.count(waitingNotice + "\r\n"), 1) << command.name;
        EXPECT_FALSE(updatesWhileHeld) << command.name;
        EXPECT_TRUE(main().mnuUpdate.Enabled()) << command.name;
    }
    EXPECT_GT(server.requestLines().size(), 0);
}

TEST_F(ScratchFilesLockTest, ASecondKoruCliWaitsAndSaysSoOnce) {
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KORU_HOME"), home.path());
    environment.insert(QStringLiteral("KORU_SERVER"), QString::fromLatin1(server.hostAndPort()));
    cli.setProcessEnvironment(environment);
    cli.setReadChannel(QProcess::StandardError);
    cli.start(QStringLiteral(KORU_CLI), {QStringLiteral("check")});
    QByteArray err;
    for (int i = 0; i < 300 && !err.contains('\n'); ++i) {
        cli.waitForReadyRead(100);
        err += cli.readAllStandardError();
    }
    EXPECT_EQ(err, "koru-cli: " + waitingNotice + "\n");
    EXPECT_TRUE(server.requestLines().isEmpty());
    other.Unlock();
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 0);
    EXPECT_TRUE(cli.readAllStandardOutput().startsWith("Checking for VANTO Updates...\r\n"));
    EXPECT_EQ(cli.readAllStandardError(), QByteArray());
}

} // namespace
