// Delta updates end to end in the main window: the real zsyncmake's control
// file beside a new archive on a real nginx, an older archive as the seed.
#include "platform/runtime/Events.h"
#include "server/SampleServer.h"
#include "support/CheckFixture.h"
#include "support/CopyTree.h"
#include "support/DeltaFiles.h"
#include "support/DialogAnswers.h"
#include "support/NginxServer.h"
#include "support/TestFiles.h"
#include "update/files/SeedArchive.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

enum class Seed { Target, Remembered, ChangedSinceSaved };

struct DeltaCase {
    const char* name;
    const char* directives; // of nginx's server block; null: the sample server instead
    bool control;           // vanto.zip.zsync is published
    bool stale;             // the archive changed after its control file was made
    Seed seed;
    bool reuses; // the log says what it reuses
    const char* fallback;
};

const DeltaCase cases[] = {
    {"SeveralRangesPerRequest", "", true, false, Seed::Target, true, nullptr},
    {"OneRangePerRequest", "max_ranges 1;", true, false, Seed::Target, true, nullptr},
    {"SampleServer", nullptr, true, false, Seed::Target, true, nullptr},
    {"LastSavedArchive", "", true, false, Seed::Remembered, true, nullptr},
    {"LastSavedArchiveChanged", "", true, false, Seed::ChangedSinceSaved, false, nullptr},
    {"NoControlFile", "", false, false, Seed::Target, false, nullptr},
    {"StaleControlFile", "", true, true, Seed::Target, true,
     "Delta update failed (the assembled archive's SHA-1 is not the control file's); "
     "downloading the whole archive.\r\n"},
};

const QByteArray downloading = "Downloading VANTO version 2.14\r\n";

// "Reusing N % of the previous archive; fetching X MB." (or KB) and its line end.
QRegularExpressionMatch ReuseLine(const QByteArray& text) {
    static const QRegularExpression reuse(QStringLiteral(
        "Reusing (\\d+) % of the previous archive; fetching (\\d+\\.\\d) ([KM])B\\.\r\n"));
    return reuse.match(QString::fromLatin1(text));
}

class DeltaFixture : public VantoFixture {
protected:
    static void SetUpTestSuite() {
        archives = new QTemporaryDir;
        ASSERT_TRUE(DeltaFiles::MakeArchives(archives->path(), 6 * 1024 * 1024));
        ASSERT_TRUE(DeltaFiles::MakeControl(archives->path(), QStringLiteral("new.zip")));
    }
    static void TearDownTestSuite() { delete archives; }

    static QByteArray Archive(const char* name) {
        return ReadFile(archives->filePath(QString::fromLatin1(name)), {});
    }

    // Publishes the sample tree with the new archive as `row` says, serves it
    // and points KORU at it; answers the archive served.
    QByteArray Serve(const DeltaCase& row) {
        CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/server"), published.path());
        QByteArray served = Archive("new.zip");
        if (row.stale)
            served[served.size() - 1] = char(served.back() ^ 1); // the central directory is fetched
        WriteFile(published.filePath(QStringLiteral("files/vanto.zip")), served);
        if (row.control)
            WriteFile(published.filePath(QStringLiteral("files/vanto.zip.zsync")),
                      Archive("new.zip.zsync"));
        if (row.directives) {
            nginx = std::make_unique<NginxServer>(published.path(), NginxServer::Tls{},
                                                  QString::fromLatin1(row.directives));
            SharedState().serverHost = nginx->hostAndPort();
        } else {
            sample = std::make_unique<SampleServer>(published.path(), 0);
            sample->Start();
            SharedState().serverHost = "127.0.0.1:" + QByteArray::number(sample->Port());
        }
        return served;
    }

    static QTemporaryDir* archives;
    QTemporaryDir published;
    std::unique_ptr<NginxServer> nginx;
    std::unique_ptr<SampleServer> sample;
    const QString target = home.filePath("vanto-update.zip");
};

QTemporaryDir* DeltaFixture::archives = nullptr;

class DeltaUpdateTest : public DeltaFixture, public ::testing::WithParamInterface<DeltaCase> {};

TEST_P(DeltaUpdateTest, SavesTheNewArchive) {
    const DeltaCase& row = GetParam();
    ASSERT_FALSE(NginxServer::Program().isEmpty()) << "nginx is not installed";
    const QByteArray served = Serve(row);
    DialogAnswers answers;
    answers.file = target;
    answers.answer = vbYes;
    if (row.seed == Seed::Target) {
        WriteFile(target, Archive("old.zip"));
    } else {
        const QString saved = home.filePath("saved.zip");
        WriteFile(saved, Archive("old.zip"));
        SeedArchive::Remember(saved);
        if (row.seed == Seed::ChangedSinceSaved)
            WriteFile(saved, Archive("old.zip") + "more");
    }
    Check();
    ASSERT_TRUE(VantoOffered());
    main().mnuAvailableDownload(0).Click();

    EXPECT_EQ(Read("vanto-update.zip"), served);
    const QByteArray log = main().SystemMessagesText1.Text();
    const QRegularExpressionMatch reused = ReuseLine(log);
    EXPECT_EQ(reused.hasMatch(), row.reuses) << log.constData();
    if (reused.hasMatch()) {
        // The progress counted the archive as it was put together, not the answers' bytes.
        if (!row.fallback) {
            EXPECT_EQ(SharedState().responseLength, served.size());
        }
        EXPECT_GT(reused.captured(1).toInt(), 30);
        EXPECT_LT(reused.captured(2).toDouble() * (reused.captured(3) == u"M" ? 1e6 : 1e3),
                  double(served.size()) * 0.8);
    }
    const QByteArray reuseLine = reused.captured(0).toLatin1();
    EXPECT_TRUE(log.endsWith(downloading + reuseLine + (row.fallback ? row.fallback : "") +
                             "Done!\r\n" + separator))
        << log.constData();
    EXPECT_EQ(main().FailedTransfers(), 0);
}

// The quick window shows the reuse line where it shows a resume: above its wait.
TEST_F(DeltaFixture, QuickWindowSaysWhatItReuses) {
    ASSERT_FALSE(NginxServer::Program().isEmpty()) << "nginx is not installed";
    const QByteArray served = Serve(cases[0]);
    qputenv("KORU_SERVER", SharedState().serverHost);
    DialogAnswers answers;
    answers.file = target;
    answers.answer = vbYes;
    WriteFile(target, Archive("old.zip"));
    QuickForm& quick = forms.KORU1;
    const auto waitForLabel = [&quick](const QByteArray& words) {
        const QDeadlineTimer deadline(20000);
        WaitUntil([&] { return quick.Label1.Caption().contains(words) || deadline.hasExpired(); });
    };
    quick.Load();
    waitForLabel("VANTO");
    ASSERT_TRUE(quick.DownloadUpdateCommand1.Click());
    waitForLabel("Done!");
    qunsetenv("KORU_SERVER");

    const QByteArray label = quick.Label1.Caption();
    const QByteArray reused = ReuseLine(label).captured(0).toLatin1();
    EXPECT_FALSE(reused.isEmpty()) << label.constData();
    EXPECT_EQ(label,
              downloading + reused + "Done!\r\n\r\nFile saved to:\r\n" + QFile::encodeName(target));
    EXPECT_EQ(Read("vanto-update.zip"), served);
}

INSTANTIATE_TEST_SUITE_P(Delta, DeltaUpdateTest, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<DeltaCase>& row) {
                             return std::string(row.param.name);
                         });

} // namespace
