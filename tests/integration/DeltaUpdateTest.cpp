// Delta updates end to end in the main window: the real zsyncmake's control
// file beside a new archive on a real nginx, an older archive as the seed.
#include "support/CheckFixture.h"
#include "support/CopyTree.h"
#include "support/DeltaFiles.h"
#include "support/DialogAnswers.h"
#include "support/NginxServer.h"
#include "support/TestFiles.h"
#include "update/archive/SeedArchive.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

enum class Seed { Target, Remembered, ChangedSinceSaved };

struct DeltaCase {
    const char* name;
    const char* directives; // of nginx's server block
    bool control;           // vanto.zip.zsync is published
    bool stale;             // the archive changed after its control file was made
    Seed seed;
    bool reuses; // the log says what it reuses
    const char* fallback;
};

const DeltaCase cases[] = {
    {"SeveralRangesPerRequest", "", true, false, Seed::Target, true, nullptr},
    {"OneRangePerRequest", "max_ranges 1;", true, false, Seed::Target, true, nullptr},
    {"LastSavedArchive", "", true, false, Seed::Remembered, true, nullptr},
    {"LastSavedArchiveChanged", "", true, false, Seed::ChangedSinceSaved, false, nullptr},
    {"NoControlFile", "", false, false, Seed::Target, false, nullptr},
    {"StaleControlFile", "", true, true, Seed::Target, true,
     "Delta update failed (the assembled archive's SHA-1 is not the control file's); "
     "downloading the whole archive.\r\n"},
};

class DeltaUpdateTest : public VantoFixture, public ::testing::WithParamInterface<DeltaCase> {
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

    static QTemporaryDir* archives;
};

QTemporaryDir* DeltaUpdateTest::archives = nullptr;

TEST_P(DeltaUpdateTest, SavesTheNewArchive) {
    const DeltaCase& row = GetParam();
    ASSERT_FALSE(NginxServer::Program().isEmpty()) << "nginx is not installed";
    QTemporaryDir published;
    CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/server"), published.path());
    QByteArray served = Archive("new.zip");
    if (row.stale)
        served[served.size() - 1] = char(served.back() ^ 1); // the central directory is fetched
    WriteFile(published.filePath(QStringLiteral("files/vanto.zip")), served);
    if (row.control)
        WriteFile(published.filePath(QStringLiteral("files/vanto.zip.zsync")),
                  Archive("new.zip.zsync"));
    NginxServer nginx(published.path(), {}, QString::fromLatin1(row.directives));
    SharedState().serverHost = nginx.hostAndPort();

    const QString target = home.filePath("vanto-update.zip");
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
    static const QRegularExpression reuse(QStringLiteral(
        "Reusing (\\d+) % of the previous archive; fetching (\\d+\\.\\d) MB\\.\r\n"));
    const QRegularExpressionMatch reused = reuse.match(QString::fromLatin1(log));
    EXPECT_EQ(reused.hasMatch(), row.reuses) << log.constData();
    if (reused.hasMatch()) {
        EXPECT_GT(reused.captured(1).toInt(), 30);
        EXPECT_LT(reused.captured(2).toDouble() * 1e6, double(served.size()) * 0.8);
    }
    const QByteArray downloading = "Downloading VANTO version 2.14\r\n";
    const QByteArray reuseLine = reused.captured(0).toLatin1();
    EXPECT_TRUE(log.endsWith(downloading + reuseLine + (row.fallback ? row.fallback : "") +
                             "Done!\r\n" + separator))
        << log.constData();
    EXPECT_EQ(main().FailedTransfers(), 0);
}

INSTANTIATE_TEST_SUITE_P(Delta, DeltaUpdateTest, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<DeltaCase>& row) {
                             return std::string(row.param.name);
                         });

} // namespace
