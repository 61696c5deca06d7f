// How the main window's delta update takes a server's answers to its
// multi-range request that are neither multipart nor the whole file: one
// range (the ranges are then asked one at a time) and a refusal (one full
// download follows, with a line saying why).
#include "support/CheckFixture.h"
#include "support/DeltaFiles.h"
#include "support/DialogAnswers.h"
#include "support/TestFiles.h"
#include "update/delta/DeltaScan.h"
#include "update/delta/RangePlan.h"
#include "update/delta/ZsyncControl.h"

#include <QDir>
#include <QTemporaryDir>

namespace {

class DeltaAnswerShapesTest : public CheckFixture {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        ASSERT_TRUE(DeltaFiles::MakeArchives(dir->path(), 1024 * 1024));
        ASSERT_TRUE(DeltaFiles::MakeControl(dir->path(), QStringLiteral("new.zip")));
    }
    static void TearDownTestSuite() { delete dir; }

    void SetUp() override {
        ASSERT_EQ(control.Read(File("new.zip.zsync")), "");
        DeltaScan scan(control, dir->filePath(QStringLiteral("old.zip")));
        scan.Run();
        const RangePlan plan(scan.SeedOffsets(), control.Blocksize(), control.Length());
        ASSERT_GT(plan.Requests().first().size(), 1); // one range is not the whole request
        for (const auto& request : plan.Requests())
            ranges.append(request);
        Publish();
        server.script("/files/vanto.zip.zsync", ScriptedServer::Ok(File("new.zip.zsync")));
        answers.file = home.filePath("vanto-update.zip");
        answers.answer = vbYes;
        WriteFile(answers.file, File("old.zip"));
    }

    static QByteArray File(const char* name) {
        return ReadFile(dir->filePath(QString::fromLatin1(name)), {});
    }
    // A 206 answer with one range of the new archive.
    QByteArray OneRange(const RangePlan::Range& range) const {
        return "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " +
               QByteArray::number(range.first) + '-' + QByteArray::number(range.last) + '/' +
               QByteArray::number(control.Length()) +
               "\r\nContent-Length: " + QByteArray::number(range.last - range.first + 1) +
               "\r\n\r\n" + newArchive.mid(range.first, range.last - range.first + 1);
    }
    QByteArray Download() {
        Check();
        main().mnuAvailableDownload(0).Click();
        return main().SystemMessagesText1.Text();
    }

    static QTemporaryDir* dir;
    ZsyncControl control;
    QList<RangePlan::Range> ranges;
    DialogAnswers answers;
    const QByteArray newArchive = File("new.zip");
};

QTemporaryDir* DeltaAnswerShapesTest::dir = nullptr;

TEST_F(DeltaAnswerShapesTest, OneRangeForManyAsksTheRestOneAtATime) {
    QList<ScriptedServer::Script> answersInTurn{{{{OneRange(ranges.first())}}}};
    for (const RangePlan::Range& range : ranges)
        answersInTurn.append({{{OneRange(range)}}});
    server.scripts("/files/vanto.zip", answersInTurn);
    const QByteArray log = Download();
    EXPECT_TRUE(log.contains("% of the previous archive; fetching ")) << log.constData();
    EXPECT_FALSE(log.contains("Delta update failed")) << log.constData();
    EXPECT_TRUE(ReadFile(answers.file, {}) == newArchive);
    EXPECT_EQ(server.requests().last().count("Range: bytes="), 1);
    EXPECT_FALSE(server.requests().last().contains(','));
}

TEST_F(DeltaAnswerShapesTest, RefusedRangesAreFollowedByTheWholeArchive) {
    server.scripts("/files/vanto.zip",
                   {{{{ScriptedServer::Response("416 Range Not Satisfiable", {})}}},
                    {{{ZipResponse(newArchive)}}}});
    const QByteArray log = Download();
    EXPECT_TRUE(log.contains("Delta update failed (HTTP/1.1 416 Range Not Satisfiable); "
                             "downloading the whole archive.\r\nDone!"))
        << log.constData();
    EXPECT_TRUE(ReadFile(answers.file, {}) == newArchive);
}

// A line that drops in the middle of the ranges: the download fails as a
// full one would, and neither the seed nor a half-made archive is left
// where the user chose.
TEST_F(DeltaAnswerShapesTest, RangesCutOffFailAndKeepTheSeed) {
    const QByteArray answer = OneRange(ranges.first());
    server.script("/files/vanto.zip",
                  {{{answer.left(answer.size() / 2)}}, ScriptedServer::Ending::Close});
    const QByteArray log = Download();
    EXPECT_TRUE(log.contains("TRANSFER FAILED: /files/vanto.zip: ")) << log.constData();
    EXPECT_TRUE(ReadFile(answers.file, {}) == File("old.zip"));
    EXPECT_EQ(QDir(home.path()).entryList({QStringLiteral(".koru-*")}, QDir::Hidden | QDir::Files),
              QStringList());
}

} // namespace
