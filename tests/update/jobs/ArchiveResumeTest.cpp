// Resuming an interrupted archive download: what arrived is kept beside the
// target with the server's validator, asked for again with Range and
// If-Range, appended on a fitting 206 and started over on anything else.
#include "support/CheckFixture.h"
#include "support/DialogAnswers.h"
#include "support/TestFiles.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>
#include <sodium.h>

namespace {

const QByteArray archive = ArchiveBytes();
const qsizetype kept = 300;
const QByteArray etag = "ETag: \"v1\"\r\n";
const QByteArray downloading = "Downloading VANTO version 2.14\r\n";

// The whole archive announced, the line dropped after `kept` body bytes.
ScriptedServer::Script Interrupted(const QByteArray& validator = etag) {
    return {{{CutZipResponse(archive, kept, validator)}}, ScriptedServer::Ending::Close};
}

ScriptedServer::Script Answer(const QByteArray& response) {
    return {{{response}}};
}

QByteArray Rest(qsizetype from = kept) {
    return PartialZipResponse(archive, from, etag);
}

class ArchiveResumeTest : public CheckFixture {
protected:
    ArchiveResumeTest() {
        SharedState().serviceMode = serviceOn;
        SharedState().remoteVersion = 2.14f;
    }

    void Download(const char* name) {
        answers.file = home.filePath(name);
        main().mnuAvailableDownload(0).SetEnabled(true);
        main().mnuAvailableDownload(0).Click();
    }
    QList<QByteArray> ArchiveRequests() const {
        QList<QByteArray> found;
        for (const QByteArray& request : server.requests()) {
            if (request.contains("/files/vanto.zip "))
                found.append(request);
        }
        return found;
    }
    QStringList KeptParts() const {
        return QDir(home.path())
            .entryList({QStringLiteral(".koru-partial-*")}, QDir::Files | QDir::Hidden);
    }

    DialogAnswers answers;
};

// A list held from the check judges the resumed archive whole, its kept part
// hashed from the file before the rest arrives.
TEST_F(ArchiveResumeTest, ListedArchiveResumesAgainstItsHash) {
    QByteArray hash(ReleaseList::hashSize, Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char*>(hash.data()), size_t(hash.size()),
                       reinterpret_cast<const unsigned char*>(archive.constData()),
                       size_t(archive.size()), nullptr, 0);
    SharedState().releaseList = ReleaseList{};
    SharedState().releaseList->files.append({"vanto.zip", archive.size(), hash});
    server.scripts("/files/vanto.zip", {Interrupted(), Answer(Rest())});
    Download("update.zip");
    Download("update.zip");
    EXPECT_EQ(Log(), downloading + "Resuming at 300 bytes.\r\nDone!\r\n" + separator);
    EXPECT_TRUE(Read("update.zip") == archive);
}

const QByteArray rangeAsked = "Range: bytes=300-\r\nIf-Range: \"v1\"\r\n\r\n";

struct SecondAnswer {
    const char* name;
    QList<ScriptedServer::Script> answers; // to the second request, then any later one
    bool resumed;
    int requests;
};

class ResumeAnswerTest : public ArchiveResumeTest,
                         public ::testing::WithParamInterface<SecondAnswer> {};

TEST_P(ResumeAnswerTest, EndsWithTheWholeArchive) {
    QList<ScriptedServer::Script> sequence{Interrupted()};
    sequence += GetParam().answers;
    server.scripts("/files/vanto.zip", sequence);
    Download("update.zip");
    EXPECT_EQ(Log(), downloading + Failed(archivePath, "The server closed the connection early.") +
                         separator);
    EXPECT_EQ(KeptParts().size(), 2); // the bytes and their validator
    EXPECT_EQ(Read("update.zip"), QByteArray("<missing>"));

    Download("update.zip");
    const QByteArray resumed = GetParam().resumed ? "Resuming at 300 bytes.\r\n" : "";
    EXPECT_EQ(Log(), downloading + resumed + "Done!\r\n" + separator);
    EXPECT_TRUE(Read("update.zip") == archive);
    EXPECT_EQ(SharedState().responseLength, archive.size());
    const QList<QByteArray> requests = ArchiveRequests();
    ASSERT_EQ(requests.size(), GetParam().requests);
    EXPECT_FALSE(requests[0].contains("Range"));
    EXPECT_TRUE(requests[1].endsWith(rangeAsked)) << requests[1].constData();
    if (requests.size() > 2) {
        EXPECT_FALSE(requests[2].contains("Range"));
    }
    EXPECT_TRUE(KeptParts().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ResumeAnswerTest,
    ::testing::Values(
        SecondAnswer{"FittingRange", {Answer(Rest())}, true, 2},
        SecondAnswer{"WholeArchiveAgain", {Answer(ZipResponse(archive, etag))}, false, 2},
        SecondAnswer{"RangeRefused",
                     {Answer(ScriptedServer::Response("416 Range Not Satisfiable", "")),
                      Answer(ZipResponse(archive, etag))},
                     false,
                     3},
        SecondAnswer{"RangeThatDoesNotFit",
                     {Answer(Rest(0)), Answer(ZipResponse(archive, etag))},
                     false,
                     3}),
    [](const ::testing::TestParamInfo<SecondAnswer>& param) { return param.param.name; });

TEST_F(ArchiveResumeTest, NoValidatorNoResume) {
    // None, or one that could not go back in a header line as it came.
    for (const QByteArray& validator : {QByteArray(), QByteArray("ETag: \"a\rX-Injected: 1\"\r\n"),
                                        QByteArray("Last-Modified: Mon\x01\r\n")}) {
        server.scripts("/files/vanto.zip", {Interrupted(validator), Answer(ZipResponse(archive))});
        Download("update.zip");
        EXPECT_TRUE(KeptParts().isEmpty());
        Download("update.zip");
        EXPECT_FALSE(ArchiveRequests().last().contains("Range"));
        EXPECT_TRUE(Read("update.zip") == archive);
        QFile::remove(home.filePath("update.zip"));
    }
    // A part kept under such a validator is dropped, not asked for.
    server.scripts("/files/vanto.zip", {Interrupted(), Answer(ZipResponse(archive))});
    Download("update.zip");
    for (const QString& name : KeptParts()) {
        if (name.endsWith(QLatin1String(".info")))
            WriteFile(home.path() + u'/' + name, "\"v1\"\rX-Injected: 1\n");
    }
    Download("update.zip");
    EXPECT_FALSE(ArchiveRequests().last().contains("Range"));
    EXPECT_TRUE(KeptParts().isEmpty());
}

TEST_F(ArchiveResumeTest, KeptPartGoesWhenTheTargetChanges) {
    server.scripts("/files/vanto.zip", {Interrupted(), Answer(ZipResponse(archive, etag))});
    Download("first.zip");
    ASSERT_FALSE(KeptParts().isEmpty());
    Download("second.zip");
    EXPECT_FALSE(ArchiveRequests().last().contains("Range"));
    EXPECT_TRUE(KeptParts().isEmpty());
}

TEST_F(ArchiveResumeTest, KeptPartGoesAfterSevenDays) {
    server.scripts("/files/vanto.zip", {Interrupted(), Answer(ZipResponse(archive, etag))});
    Download("update.zip");
    for (const QString& name : KeptParts()) {
        QFile part(home.path() + u'/' + name);
        ASSERT_TRUE(part.open(QIODevice::ReadWrite));
        part.setFileTime(QDateTime::currentDateTime().addDays(-8),
                         QFileDevice::FileModificationTime);
    }
    Download("update.zip");
    EXPECT_FALSE(ArchiveRequests().last().contains("Range"));
    EXPECT_TRUE(Read("update.zip") == archive);
}

// The answer in pieces with a pause before each, so that a kill lands mid-body.
ScriptedServer::Script Dripped(const QByteArray& response) {
    ScriptedServer::Script script;
    for (qsizetype at = 0; at < response.size(); at += 64 * 1024)
        script.steps.append({response.mid(at, 64 * 1024), 15});
    return script;
}

// koru-cli killed at random points of resumed downloads: the kept part holds
// exactly the bytes that arrived, each next run asks from there, and the last
// one ends with the archive byte for byte.
TEST_F(ArchiveResumeTest, KillDuringAResumeKeepsTheTruePoint) {
    QByteArray big(2 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + i / 4096);
    Publish();
    server.script("/files/vanto.zip",
                  {{{CutZipResponse(big, kept, etag)}}, ScriptedServer::Ending::Close});
    const QString target = home.filePath("update.zip");
    // The kept part, which must hold the archive's first bytes; the next run asks from there.
    QList<QByteArray> asked;
    const auto keptPart = [&] {
        const QStringList parts =
            KeptParts().filter(QRegularExpression(QStringLiteral("^\\.koru-partial-[0-9a-f]+$")));
        const QString part = home.path() + u'/' + parts.value(0);
        const QByteArray bytes = ReadFile(part, {});
        if (parts.size() != 1 || bytes.size() < kept || bytes.size() == big.size() ||
            bytes != big.left(bytes.size()))
            return QString();
        asked.append("Range: bytes=" + QByteArray::number(bytes.size()) + "-\r\n");
        server.script("/files/vanto.zip", Dripped(PartialZipResponse(big, bytes.size(), etag)));
        return part;
    };
    const quint32 seed = QRandomGenerator::global()->generate();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    QRandomGenerator random(seed);
    // The first run is cut by the server, the next four killed, the last left to finish.
    QProcess cli;
    for (int run = 0; run < 6; ++run) {
        const QString part = run > 0 ? keptPart() : QString();
        ASSERT_TRUE(run == 0 || !part.isEmpty()) << "no true kept part before run " << run;
        const qint64 from = QFileInfo(part).size();
        cli.start(QStringLiteral(KORU_CLI),
                  {QStringLiteral("--home"), home.path(), QStringLiteral("--server"),
                   QString::fromLatin1(server.hostAndPort()), QStringLiteral("check"),
                   QStringLiteral("vanto-update"), target});
        if (run > 0 && run < 5) {
            // Killed at a random point within the first third of what is left.
            const qint64 at = from + 1 + random.bounded((big.size() - from) / 3);
            const QDeadlineTimer deadline(10000);
            while (QFileInfo(part).size() < at && !deadline.hasExpired())
                QThread::msleep(2);
            cli.kill();
        }
        ASSERT_TRUE(cli.waitForFinished(30000));
    }
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardOutput().constData();
    EXPECT_TRUE(ReadFile(target) == big);
    EXPECT_TRUE(KeptParts().isEmpty());
    const QList<QByteArray> requests = ArchiveRequests();
    ASSERT_EQ(requests.size(), asked.size() + 1);
    for (qsizetype i = 0; i < asked.size(); ++i)
        EXPECT_TRUE(requests[i + 1].contains(asked[i])) << requests[i + 1].constData();
}

} // namespace
