// A delta update end to end against the real zsyncmake: the old archive as
// seed, the missing ranges served from the new archive by the sample server's
// responder, in each of the shapes a server may answer, and the result
// byte-identical with the control file's SHA-1.
#include "server/FileResponder.h"
#include "support/DeltaFiles.h"
#include "support/LoopbackClient.h"
#include "support/NginxServer.h"
#include "support/TestFiles.h"
#include "update/delta/DeltaAssembly.h"
#include "update/delta/DeltaScan.h"
#include "update/delta/MultipartReader.h"
#include "update/delta/RangePlan.h"
#include "update/delta/ZsyncControl.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray HeaderOf(const QByteArray& head, const QByteArray& name) {
    for (const QByteArray& line : head.split('\n')) {
        if (line.toLower().startsWith(name.toLower() + ':'))
            return line.mid(name.size() + 1).trimmed();
    }
    return {};
}

class DeltaRoundTripTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        // Larger than the scan's read piece, so it reads the seed in several.
        ASSERT_TRUE(DeltaFiles::MakeArchives(dir->path(), DeltaScan::pieceSize * 2));
        ASSERT_TRUE(DeltaFiles::MakeControl(dir->path(), QStringLiteral("new.zip")));
        ASSERT_GT(QFileInfo(Path("old.zip")).size(), DeltaScan::pieceSize);
    }
    static void TearDownTestSuite() { delete dir; }

    static QString Path(const char* name) { return dir->filePath(QString::fromLatin1(name)); }

    void SetUp() override { ASSERT_EQ(control.Read(ReadFile(Path("new.zip.zsync"))), ""); }

    // Fetches `range` (empty: no Range header) into `assembly` as the sample
    // server's responder or a real nginx answers it; the shape of the
    // answer, or a failure.
    QByteArray Fetch(const QByteArray& range, DeltaAssembly& assembly, const NginxServer* nginx,
                     MultipartReader::Shape& shape) const {
        QByteArray request = "GET /new.zip HTTP/1.1\r\nHost: 127.0.0.1";
        if (!range.isEmpty())
            request += "\r\nRange: " + range;
        QByteArray bytes;
        if (nginx) {
            LoopbackClient client(nginx->port());
            if (!client.Send(request + "\r\n\r\n"))
                return "nginx took no request";
            bytes = client.Response();
        } else {
            FileResponder::Reply reply = FileResponder(dir->path()).Answer(request);
            do {
                bytes += reply.head;
                if (reply.file && reply.file->seek(reply.offset))
                    bytes += reply.file->read(reply.length);
            } while (reply.NextSection());
        }
        const qsizetype end = bytes.indexOf("\r\n\r\n");
        const QByteArray head = bytes.left(end);
        MultipartReader reader;
        QByteArray failure = reader.Start(head.mid(9, 3).toInt(), HeaderOf(head, "Content-Type"),
                                          HeaderOf(head, "Content-Range"), control.Length(),
                                          [&](qint64 offset, const char* data, qsizetype size) {
                                              return assembly.Write(offset, data, size);
                                          });
        // Pieces of an odd size, so parts and boundaries fall anywhere in them.
        for (qsizetype at = end + 4; failure.isEmpty() && at < bytes.size(); at += 7001)
            failure = reader.Feed(bytes.mid(at, 7001));
        shape = reader.Kind();
        if (failure.isEmpty() && !reader.Complete())
            failure = "incomplete";
        return failure;
    }

    // Scans old.zip and copies what it gives into `name`.
    void StartAssembly(const char* name) {
        seedScan.emplace(control, Path("old.zip"));
        seedScan->Run();
        out.setFileName(Path(name));
        ASSERT_TRUE(out.open(QIODevice::ReadWrite | QIODevice::Truncate));
        assembled.emplace(control, out.handle());
        assembled->CopySeedBlocks(Path("old.zip"), seedScan->SeedOffsets());
    }

    static QTemporaryDir* dir;
    ZsyncControl control;
    std::optional<DeltaScan> seedScan;
    QFile out;
    std::optional<DeltaAssembly> assembled;
};

QTemporaryDir* DeltaRoundTripTest::dir = nullptr;

// Every sum and MD4 of the table, the zero padding of the short last block
// and the pair lookup: the archive finds every one of its own blocks. The
// same table read as asking for single matches finds them one by one.
TEST_F(DeltaRoundTripTest, ScanOfTheArchiveItselfKnowsEveryBlock) {
    QByteArray single = ReadFile(Path("new.zip.zsync"));
    single.replace("Hash-Lengths: 2,", "Hash-Lengths: 1,");
    ZsyncControl singleControl;
    ASSERT_EQ(singleControl.Read(single), "");
    ASSERT_EQ(singleControl.SeqMatches(), 1);
    ASSERT_EQ(control.SeqMatches(), 2);
    ASSERT_NE(control.Length() % control.Blocksize(), 0) << "the last block is not short";
    for (const ZsyncControl* table : {&control, &singleControl}) {
        DeltaScan scan(*table, Path("new.zip"));
        scan.Run();
        EXPECT_EQ(scan.KnownBlocks(), control.BlockCount()) << table->SeqMatches();
        EXPECT_EQ(scan.KnownBytes(), control.Length());
    }
}

TEST_F(DeltaRoundTripTest, SlicedScanFindsWhatOneRunFinds) {
    DeltaScan whole(control, Path("old.zip"));
    whole.Run();
    // Slices smaller than a block and than the read piece, ending anywhere.
    DeltaScan sliced(control, Path("old.zip"));
    int steps = 0;
    while (!sliced.Step(1000 + steps % 3000))
        ++steps;
    EXPECT_GT(steps, 100);
    EXPECT_EQ(sliced.SeedOffsets(), whole.SeedOffsets());
    // Most of the archive is unchanged; well over half is reused.
    EXPECT_GT(whole.KnownBytes(), control.Length() / 2);
    EXPECT_LT(whole.KnownBytes(), control.Length());
}

// A seed with nothing in common, longer than a read piece: no block is claimed.
TEST_F(DeltaRoundTripTest, UnrelatedSeedGivesNoBlock) {
    QByteArray noise(DeltaScan::pieceSize + 5000, Qt::Uninitialized);
    QRandomGenerator(5).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    WriteFile(Path("noise.bin"), noise);
    DeltaScan scan(control, Path("noise.bin"));
    scan.Run();
    EXPECT_EQ(scan.KnownBlocks(), 0);
}

struct ShapeCase {
    const char* name;
    MultipartReader::Shape shape;
    bool nginx = false;
};

class DeltaShapeTest : public DeltaRoundTripTest,
                       public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(DeltaShapeTest, AssemblesTheNewArchiveFromSeedAndRanges) {
    ASSERT_NO_FATAL_FAILURE(StartAssembly("assembled.zip"));
    DeltaScan& scan = *seedScan;
    DeltaAssembly& assembly = *assembled;
    const RangePlan plan(scan.SeedOffsets(), control.Blocksize(), control.Length());
    ASSERT_GE(plan.Requests().size(), 1);
    EXPECT_LE(plan.Requests().size(), 4);
    EXPECT_GE(plan.FetchBytes() + scan.KnownBytes(), control.Length());

    std::optional<NginxServer> nginx;
    if (GetParam().nginx) {
        if (NginxServer::Program().isEmpty())
            GTEST_SKIP() << "nginx is not installed";
        nginx.emplace(dir->path());
    }
    QList<QByteArray> ranges;
    const MultipartReader::Shape expected = GetParam().shape;
    for (qsizetype i = 0; i < plan.Requests().size(); ++i) {
        if (expected == MultipartReader::Shape::Multipart)
            ranges.append(plan.Header(i));
        for (const RangePlan::Range& range : plan.Requests()[i]) {
            if (expected == MultipartReader::Shape::SingleRange)
                ranges.append("bytes=" + QByteArray::number(range.first) + '-' +
                              QByteArray::number(range.last));
        }
    }
    if (expected == MultipartReader::Shape::Whole)
        ranges.append(QByteArray());
    for (const QByteArray& range : ranges) {
        MultipartReader::Shape shape{};
        ASSERT_EQ(Fetch(range, assembly, nginx ? &*nginx : nullptr, shape), "")
            << range.left(200).constData();
        EXPECT_EQ(int(shape), int(expected));
    }
    EXPECT_EQ(assembly.Check(), "");
    out.close();
    EXPECT_TRUE(ReadFile(Path("assembled.zip")) == ReadFile(Path("new.zip")));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, DeltaShapeTest,
    ::testing::Values(ShapeCase{"Multipart", MultipartReader::Shape::Multipart},
                      ShapeCase{"OneRangeEach", MultipartReader::Shape::SingleRange},
                      ShapeCase{"WholeFile", MultipartReader::Shape::Whole},
                      ShapeCase{"NginxMultipart", MultipartReader::Shape::Multipart, true}),
    [](const auto& row) { return std::string(row.param.name); });

// The checks the caller falls back on: a range the server left out, a byte it got wrong.
TEST_F(DeltaRoundTripTest, MissingOrWrongBytesAreCaughtBeforeTheArchiveIsUsed) {
    ASSERT_NO_FATAL_FAILURE(StartAssembly("broken.zip"));
    DeltaAssembly& assembly = *assembled;
    EXPECT_EQ(assembly.Check(), "the server did not send every missing part of the archive");
    QByteArray archive = ReadFile(Path("new.zip"));
    archive[archive.size() - 1] = char(archive.back() ^ 1);
    ASSERT_EQ(assembly.Write(0, archive.constData(), archive.size()), "");
    EXPECT_EQ(assembly.Check(), "the assembled archive's SHA-1 is not the control file's");
    EXPECT_EQ(assembly.Write(1, archive.constData(), archive.size()),
              "bytes beyond the archive's length");
}

// The hash follows the writes: bytes written again after they were hashed
// are judged as they are now.
TEST_F(DeltaRoundTripTest, BytesWrittenAgainAreJudgedAsTheyAreNow) {
    ASSERT_NO_FATAL_FAILURE(StartAssembly("again.zip"));
    const QByteArray archive = ReadFile(Path("new.zip"));
    ASSERT_EQ(assembled->Write(0, archive.constData(), archive.size()), "");
    EXPECT_EQ(assembled->Check(), "");
    ASSERT_EQ(assembled->Write(0, "x", 1), "");
    EXPECT_EQ(assembled->Check(), "the assembled archive's SHA-1 is not the control file's");
}

} // namespace
