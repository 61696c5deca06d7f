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
#include "update/net/RateFloor.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

namespace {

class DeltaAnswerShapesTest : public CheckFixture {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        ASSERT_TRUE(DeltaFiles::MakeArchives(dir->path(), 1024 * 1024));
        ASSERT_TRUE(DeltaFiles::MakeControl(dir->path(), QStringLiteral("new.zip")));
        ASSERT_TRUE(DeltaFiles::MakeControl(dir->path(), QStringLiteral("old.zip")));
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
        requests = plan.Requests();
        asked = requests.first();
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
        return ScriptedServer::PartOf(newArchive, range.first, range.last);
    }
    // A multipart answer with `parts` of `archive` between `preamble` and `epilogue`.
    static QByteArray Multipart(const QList<RangePlan::Range>& parts, const QByteArray& archive,
                                const QByteArray& epilogue = {}, const QByteArray& preamble = {}) {
        QByteArray body = preamble;
        for (const RangePlan::Range& part : parts)
            body += "\r\n--b\r\nContent-Range: bytes " + QByteArray::number(part.first) + '-' +
                    QByteArray::number(part.last) + '/' + QByteArray::number(archive.size()) +
                    "\r\n\r\n" + archive.mid(part.first, part.last - part.first + 1);
        body += "\r\n--b--\r\n" + epilogue;
        return "HTTP/1.1 206 Partial Content\r\nContent-Type: multipart/byteranges; boundary=b"
               "\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }
    // Answers each request with the one range it asks of the new archive.
    ScriptedServer::Script
    OneRangeEach(ScriptedServer::Ending ending = ScriptedServer::Ending::StaySilent) const {
        return {{}, ending, newArchive};
    }
    QByteArray Download() {
        Check();
        main().mnuAvailableDownload(0).Click();
        return main().SystemMessagesText1.Text();
    }

    static QTemporaryDir* dir;
    ZsyncControl control;
    QList<RangePlan::Range> ranges;
    QList<QList<RangePlan::Range>> requests;
    QList<RangePlan::Range> asked; // by the first request
    DialogAnswers answers;
    const QByteArray newArchive = File("new.zip");
};

QTemporaryDir* DeltaAnswerShapesTest::dir = nullptr;

TEST_F(DeltaAnswerShapesTest, OneRangeForManyAsksTheRestOneAtATime) {
    server.scripts("/files/vanto.zip", {{{{OneRange(ranges.first())}}}, OneRangeEach()});
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

// A connection made again for the ranges a server left unanswered when it
// closed gracefully is held to the stall rule as the first one was.
TEST_F(DeltaAnswerShapesTest, SilenceAfterAResendIsAStall) {
    server.scripts("/files/vanto.zip", {{{{OneRange(ranges.first())}}},
                                        OneRangeEach(ScriptedServer::Ending::Goodbye),
                                        {{}, ScriptedServer::Ending::StaySilent}});
    QTimer endless; // ends a wait that nothing else would
    endless.setSingleShot(true);
    QObject::connect(&endless, &QTimer::timeout, [] { EndProgram(); });
    endless.start(10000);
    const QByteArray log = Download();
    EXPECT_FALSE(ProgramEnded());
    EXPECT_TRUE(log.contains("TRANSFER FAILED: /files/vanto.zip: The server stopped sending."))
        << log.constData();
    EXPECT_TRUE(ReadFile(answers.file, {}) == File("old.zip"));
}

// A server that keeps sending framing but no byte of the archive is as slow
// as one that sends nothing: the rate floor counts the archive's bytes.
TEST_F(DeltaAnswerShapesTest, FramingAloneIsTooSlow) {
    RateFloor::windowMs = 300;
    const QByteArray answer =
        Multipart(asked, newArchive, {}, QByteArray(98, 'x').append("\r\n").repeated(76));
    const qsizetype bodyStart = answer.indexOf("\r\n\r\n") + 4;
    ScriptedServer::Script trickle{{{answer.left(bodyStart)}}};
    for (qsizetype at = bodyStart; at < answer.size(); at += 400)
        trickle.steps.append({answer.mid(at, 400), 25});
    server.script("/files/vanto.zip", trickle);
    const QByteArray log = Download();
    RateFloor::windowMs = 30000;
    EXPECT_TRUE(log.contains("The server sends too slowly.")) << log.constData();
    EXPECT_TRUE(ReadFile(answers.file, {}) == File("old.zip"));
}

// Every shape a server may answer a delta's requests in, with what the user
// gets: the log's closing lines, the saved archive, and a request that must have
// been made. The last answer of each script is the whole archive.
class DeltaServerShapeTest;

const char* const stale = "the server's control file does not describe its archive";

struct ServerShape {
    const char* name;
    // The answers to the archive's requests in turn; may change the control file.
    QList<ScriptedServer::Script> (*answers)(DeltaServerShapeTest& t);
    const char* fallback; // why the whole archive is fetched; "" when the delta works
    const char* request;  // a request must hold this
    // Every archive request after the first asks for one range.
    bool oneRangeAfterFirst = false;
};

class DeltaServerShapeTest : public DeltaAnswerShapesTest,
                             public ::testing::WithParamInterface<ServerShape> {
public:
    using DeltaAnswerShapesTest::asked;
    using DeltaAnswerShapesTest::control;
    using DeltaAnswerShapesTest::File;
    using DeltaAnswerShapesTest::Multipart;
    using DeltaAnswerShapesTest::newArchive;
    using DeltaAnswerShapesTest::OneRange;
    using DeltaAnswerShapesTest::OneRangeEach;
    using DeltaAnswerShapesTest::ranges;
    using DeltaAnswerShapesTest::requests;

    // A 206 answer with the last 64 KiB of `archive`.
    static QByteArray Tail(const QByteArray& archive) {
        return ScriptedServer::PartOf(archive, archive.size() - 65536, archive.size() - 1);
    }
    // `answer` in pieces with pauses, so that a client can stop reading it part way.
    static ScriptedServer::Script
    Trickled(const QByteArray& answer,
             ScriptedServer::Ending ending = ScriptedServer::Ending::StaySilent) {
        ScriptedServer::Script script{{}, ending};
        for (qsizetype at = 0; at < answer.size(); at += 16384)
            script.steps.append({answer.mid(at, 16384), 2});
        return script;
    }
    QList<ScriptedServer::Script> ThenWhole(const QByteArray& first) const {
        return {{{{first}}}, {{{ZipResponse(newArchive)}}}};
    }
    // The old archive's control file, as a publisher who forgot zsyncmake leaves it.
    void ServeOldControl() {
        server.script("/files/vanto.zip.zsync", ScriptedServer::Ok(File("old.zip.zsync")));
    }
    // The new archive's control file claiming 1 Mi blocks: its table is
    // padded with records no seed block matches.
    void ServeAbsurdLength() {
        const QByteArray real = File("new.zip.zsync");
        const qsizetype headEnd = real.indexOf("\n\n") + 2;
        const qint64 blocks = qint64(1) << 20;
        const qint64 record = (real.size() - headEnd) / control.BlockCount();
        QByteArray head = real.left(headEnd);
        head.replace("Length: " + QByteArray::number(control.Length()),
                     "Length: " + QByteArray::number(blocks * control.Blocksize()));
        QByteArray table = real.mid(headEnd);
        QByteArray padding((blocks - control.BlockCount()) * record, Qt::Uninitialized);
        std::uint32_t state = 7;
        for (char& byte : padding)
            byte = char((state = state * 1664525u + 1013904223u) >> 24);
        table += padding;
        server.script("/files/vanto.zip.zsync", ScriptedServer::Ok(head + table));
    }
};

TEST_P(DeltaServerShapeTest, GivesTheArchiveOrFallsBackSaying) {
    server.scripts("/files/vanto.zip", GetParam().answers(*this));
    const QByteArray log = Download();
    const QByteArray fallback = GetParam().fallback;
    EXPECT_TRUE(log.contains(fallback.isEmpty() ? QByteArray("\r\nDone!")
                                                : "Delta update failed (" + fallback +
                                                      "); downloading the whole archive.\r\nDone!"))
        << log.constData();
    EXPECT_EQ(log.contains("Delta update failed"), !fallback.isEmpty()) << log.constData();
    EXPECT_FALSE(log.contains("Disk full")) << log.constData();
    EXPECT_TRUE(ReadFile(answers.file, {}) == newArchive);
    bool made = false;
    for (const QByteArray& request : server.requests())
        made = made || request.contains(GetParam().request);
    EXPECT_TRUE(made) << GetParam().request;
    if (!GetParam().oneRangeAfterFirst)
        return;
    QList<QByteArray> archiveRequests;
    for (const QByteArray& request : server.requests())
        if (request.startsWith("GET /files/vanto.zip ") ||
            request.contains("/files/vanto.zip HTTP"))
            archiveRequests.append(request);
    ASSERT_GT(archiveRequests.size(), 1);
    for (const QByteArray& request : archiveRequests.mid(1)) {
        EXPECT_EQ(request.count("Range: bytes="), 1) << request.constData();
        EXPECT_FALSE(request.contains(',')) << request.constData();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, DeltaServerShapeTest,
    ::testing::Values(
        ServerShape{"Multipart",
                    [](DeltaServerShapeTest& f) {
                        QList<ScriptedServer::Script> all;
                        for (const QList<RangePlan::Range>& request : f.requests)
                            all.append({{{f.Multipart(request, f.newArchive)}}});
                        return all;
                    },
                    "", "Range: bytes="},
        ServerShape{
            "PartOutsideTheSpanAsked",
            [](DeltaServerShapeTest& f) {
                QList<RangePlan::Range> parts = f.asked;
                const qint64 end = f.asked.last().last;
                parts.append(end + 1 < f.control.Length() ? RangePlan::Range{end + 1, end + 1}
                                                          : RangePlan::Range{0, 0});
                return f.ThenWhole(f.Multipart(parts, f.newArchive));
            },
            "the server sent a part of the archive that was not asked for", "Range: bytes="},
        ServerShape{"RepeatedPart",
                    [](DeltaServerShapeTest& f) {
                        QList<RangePlan::Range> parts = f.asked;
                        parts.append(f.asked.first());
                        return f.ThenWhole(f.Multipart(parts, f.newArchive));
                    },
                    "the server sent the same part of the archive twice", "Range: bytes="},
        ServerShape{"EndlessEpilogue",
                    [](DeltaServerShapeTest& f) {
                        return f.ThenWhole(
                            f.Multipart(f.asked, f.newArchive, QByteArray(4 << 20, 'x')));
                    },
                    "the server's answer is longer than the ranges asked for", "Range: bytes="},
        ServerShape{"StaleControlOfAnotherLength",
                    [](DeltaServerShapeTest& f) {
                        f.ServeOldControl();
                        EXPECT_NE(f.File("old.zip").size(), f.newArchive.size());
                        return f.ThenWhole(f.Tail(f.newArchive));
                    },
                    stale, "Range: bytes=-65536"},
        ServerShape{"StaleControlOfTheSameLength",
                    [](DeltaServerShapeTest& f) {
                        f.ServeOldControl();
                        QByteArray served = f.File("old.zip");
                        served[served.size() - 100] = char(served[served.size() - 100] ^ 1);
                        return f.ThenWhole(f.Tail(served));
                    },
                    stale, "Range: bytes=-65536"},
        ServerShape{"AbsurdLength",
                    [](DeltaServerShapeTest& f) {
                        f.ServeAbsurdLength();
                        return f.ThenWhole(f.OneRange(f.ranges.first()));
                    },
                    stale, "Range: bytes="},
        // The whole file for several ranges is read only as far as it helps.
        ServerShape{"WholeForSeveralThenOneRangeEach",
                    [](DeltaServerShapeTest& f) {
                        return QList<ScriptedServer::Script>{f.Trickled(ZipResponse(f.newArchive)),
                                                             f.OneRangeEach()};
                    },
                    "", "Range: bytes=", true},
        ServerShape{"NoRanges",
                    [](DeltaServerShapeTest& f) {
                        return QList<ScriptedServer::Script>{f.Trickled(ZipResponse(f.newArchive))};
                    },
                    "", "Range: bytes=", true},
        // A chunked answer's end and the next answer arrive in one read.
        ServerShape{
            "ChunkedAnswersEndWhereTheNextBegins",
            [](DeltaServerShapeTest& f) {
                ScriptedServer::Script chunked = f.OneRangeEach();
                chunked.chunked = true;
                return QList<ScriptedServer::Script>{{{{f.OneRange(f.ranges.first())}}}, chunked};
            },
            "", "Range: bytes=", true},
        // Pipelined requests left unanswered go again on a new connection.
        ServerShape{"ClosesAfterEachAnswer",
                    [](DeltaServerShapeTest& f) {
                        constexpr ScriptedServer::Ending close = ScriptedServer::Ending::Close;
                        return QList<ScriptedServer::Script>{
                            f.Trickled(ZipResponse(f.newArchive), close), f.OneRangeEach(close)};
                    },
                    "", "Range: bytes=", true},
        // A server that resets the connection while requests wait cuts the
        // answer under way: it is asked again on a new one.
        ServerShape{"ResetPartWayWhileRequestsWait",
                    [](DeltaServerShapeTest& f) {
                        const QByteArray part = f.OneRange(f.ranges.first());
                        return QList<ScriptedServer::Script>{
                            f.Trickled(ZipResponse(f.newArchive)),
                            {{{part.left(part.size() / 2)}, {{}, 100}},
                             ScriptedServer::Ending::Reset},
                            f.OneRangeEach()};
                    },
                    "", "Range: bytes=", true}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
