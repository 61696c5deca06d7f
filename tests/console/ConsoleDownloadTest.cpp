// "koru-cli vanto-update FILE": the file answers the save dialog, --yes/--no
// the overwrite question, and a failed download exits with 2.
#include "console/ConsoleRunner.h"
#include "console/ProgressLine.h"
#include "support/CheckFixture.h"
#include "support/DialogAnswers.h"

#include <QBuffer>
#include <QTimer>
#include <csignal>

namespace {

class ConsoleDownloadTest : public CheckFixture {
protected:
    ConsoleDownloadTest() {
        Publish("02.14");
        server.script("/files/vanto.zip", {{{ZipResponse(archive)}}});
    }

    int Run(const QStringList& arguments, bool progress = false) {
        qputenv("KORU_SERVER", server.hostAndPort());
        for (QBuffer* buffer : {&out, &err}) {
            buffer->close();
            buffer->setData({});
            buffer->open(QIODevice::WriteOnly);
        }
        ConsoleRunner runner(out, err);
        runner.ShowProgress(progress);
        if (beforeRun)
            beforeRun(runner);
        const int status = runner.Run(arguments);
        qunsetenv("KORU_SERVER");
        return status;
    }
    QString File(const char* name) const { return home.filePath(name); }

    const QByteArray archive = ArchiveBytes();
    std::function<void(ConsoleRunner&)> beforeRun;
    QBuffer out;
    QBuffer err;
};

TEST_F(ConsoleDownloadTest, SavesTheArchiveOfferedByTheCheck) {
    EXPECT_EQ(Run({QStringLiteral("check"), QStringLiteral("vanto-update"), File("update")}),
              ConsoleRunner::Success);
    EXPECT_TRUE(out.data().endsWith("Downloading VANTO version 2.14\r\nDone!\r\n" + separator));
    EXPECT_EQ(Read("update.zip"), archive);
}

TEST_F(ConsoleDownloadTest, ProgressLineIsDrawnAndClearedOnTheTerminalOnly) {
    const QStringList arguments{QStringLiteral("check"), QStringLiteral("vanto-update"),
                                File("update")};
    ASSERT_EQ(Run(arguments, true), ConsoleRunner::Success);
    EXPECT_EQ(err.data(), "\r\033[KDownloading VANTO: " + ProgressLine::Amount(archive.size()) +
                              " of " + ProgressLine::Amount(archive.size()) + " (100%)\r\033[K");
    const QByteArray log = out.data();
    QFile::remove(File("update.zip"));
    ASSERT_EQ(Run(arguments), ConsoleRunner::Success);
    EXPECT_EQ(out.data(), log);
    EXPECT_TRUE(err.data().isEmpty());
    EXPECT_EQ(ProgressLine::Amount(1536 * 1024), QByteArray("1.5 MiB"));
}

TEST_F(ConsoleDownloadTest, FailedDownloadExitsWithTwo) {
    server.script("/files/vanto.zip",
                  {{{ScriptedServer::Response("500 Internal Server Error", "")}}});
    EXPECT_EQ(Run({QStringLiteral("check"), QStringLiteral("vanto-update"), File("update.zip")}),
              ConsoleRunner::CommandFailed);
    EXPECT_TRUE(
        out.data().endsWith(Failed(archivePath, "HTTP/1.1 500 Internal Server Error") + separator));
    EXPECT_EQ(Read("update.zip"), QByteArray("<missing>"));
}

// A stopping signal mid-download ends the run as closing the window does: what
// arrived is kept for the next run to resume, the file the download created
// empty goes, and the log is written.
TEST_F(ConsoleDownloadTest, StopSignalKeepsThePartForAResume) {
    const QByteArray etag = "ETag: \"v1\"\r\n";
    server.scripts("/files/vanto.zip", {{{{CutZipResponse(archive, 300, etag)}}},
                                        {{{PartialZipResponse(archive, 300, etag)}}}});
    const QStringList arguments{QStringLiteral("check"), QStringLiteral("vanto-update"),
                                File("update.zip")};
    QTimer poll;
    int ticksSinceRequest = 0;
    beforeRun = [&](ConsoleRunner& runner) {
        poll.callOnTimeout([&] {
            // The 300 bytes follow the request at once; the server then stays silent.
            const QList<QByteArray> lines = server.requestLines();
            if (!lines.isEmpty() && lines.last().contains("vanto.zip") && ++ticksSinceRequest == 4)
                runner.Interrupt(SIGTERM);
        });
        poll.start(50);
    };
    EXPECT_EQ(Run(arguments), 128 + SIGTERM);
    EXPECT_TRUE(out.data().endsWith("Downloading VANTO version 2.14\r\n" + separator))
        << out.data().constData();
    EXPECT_TRUE(err.data().endsWith("koru-cli: stopped by SIGTERM.\n")) << err.data().constData();
    EXPECT_EQ(Read("update.zip"), QByteArray("<missing>"));

    poll.stop();
    beforeRun = nullptr;
    EXPECT_EQ(Run(arguments), ConsoleRunner::Success);
    EXPECT_TRUE(out.data().contains("Resuming at 300 bytes.\r\nDone!")) << out.data().constData();
    EXPECT_EQ(Read("update.zip"), archive);
}

TEST_F(ConsoleDownloadTest, WithoutACheckTheItemIsDisabled) {
    EXPECT_EQ(Run({QStringLiteral("vanto-update"), File("update.zip")}),
              ConsoleRunner::ItemDisabled);
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(ConsoleDownloadTest, EmptyFileCancels) {
    EXPECT_EQ(Run({QStringLiteral("check"), QStringLiteral("vanto-update"), QString()}),
              ConsoleRunner::Success);
    EXPECT_FALSE(server.requestLines().contains("GET http://" + server.hostAndPort() +
                                                "/files/vanto.zip HTTP/1.1"));
}

struct OverwriteCase {
    const char* option;
    bool overwritten;
};

class ConsoleOverwriteTest : public ConsoleDownloadTest,
                             public ::testing::WithParamInterface<OverwriteCase> {};

TEST_P(ConsoleOverwriteTest, OptionAnswersTheQuestion) {
    Write("keep.zip", "old archive");
    EXPECT_EQ(Run({QString::fromLatin1(GetParam().option), QStringLiteral("check"),
                   QStringLiteral("vanto-update"), File("keep.zip")}),
              ConsoleRunner::Success);
    EXPECT_EQ(Read("keep.zip"), GetParam().overwritten ? archive : QByteArray("old archive"));
    EXPECT_TRUE(err.data().contains("koru-cli: Overwrite?: File aready exists!\r\nOverwrite?"));
}

INSTANTIATE_TEST_SUITE_P(Answers, ConsoleOverwriteTest,
                         ::testing::Values(OverwriteCase{"--yes", true},
                                           OverwriteCase{"--no", false}));

} // namespace
