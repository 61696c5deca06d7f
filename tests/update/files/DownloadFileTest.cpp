// The archive's file beside its target: replaced whole or not at all, stale
// files of killed downloads removed, a full disk or a vanished folder reported.
#include "update/files/DownloadFile.h"

#include "platform/runtime/RuntimeError.h"
#include "support/Raised.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

class DownloadFileTest : public ::testing::Test {
protected:
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    void Write(const char* name, const QByteArray& bytes) const { WriteFile(Path(name), bytes); }
    QByteArray Read(const char* name) const { return ReadFile(Path(name)); }
    QStringList Files() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir dir;
};

TEST_F(DownloadFileTest, CommitReplacesTheTargetAndKeepsItsPermissions) {
    Write("vanto.zip", "old");
    QFile::setPermissions(Path("vanto.zip"), QFile::ReadOwner | QFile::WriteOwner);
    DownloadFile file(Path("vanto.zip"));
    file.Reserve(1000);
    file.Write("new ", 4);
    file.Write("archive", 7);
    EXPECT_EQ(Read("vanto.zip"), QByteArray("old"));
    file.Commit();
    EXPECT_EQ(Read("vanto.zip"), QByteArray("new archive"));
    EXPECT_EQ(QFile::permissions(Path("vanto.zip")),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    EXPECT_EQ(Files(), QStringList{QStringLiteral("vanto.zip")});
}

TEST_F(DownloadFileTest, UncommittedDownloadLeavesNothing) {
    Write("vanto.zip", "old");
    {
        DownloadFile file(Path("vanto.zip"));
        file.Write("partial", 7);
    }
    EXPECT_EQ(Read("vanto.zip"), QByteArray("old"));
    EXPECT_EQ(Files(), QStringList{QStringLiteral("vanto.zip")});
}

TEST_F(DownloadFileTest, StaleFilesGoUnlessSomeoneWritesThem) {
    Write(".koru-download-abcd1234", "killed");
    Write(".koru-download-efgh5678", "running");
    Write(".koru-download-short", "not ours");
    Write("notes.txt", "user's");
    const int held = ::open(QFile::encodeName(Path(".koru-download-efgh5678")).constData(), O_RDWR);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_EQ(DownloadFile::RemoveStale(dir.path()), 1);
    ::close(held);
    EXPECT_EQ(Files(),
              QStringList({QStringLiteral(".koru-download-efgh5678"),
                           QStringLiteral(".koru-download-short"), QStringLiteral("notes.txt")}));
    // A new download clears what no one holds any more.
    DownloadFile file(Path("vanto.zip"));
    EXPECT_FALSE(QFile::exists(Path(".koru-download-efgh5678")));
}

// The state folder's pointer to a part kept for another target is followed
// only to a kept part of KORU's own naming with its validator beside it.
TEST_F(DownloadFileTest, KeptPointerReachesOnlyKeptParts) {
    const QByteArray previous = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", QFile::encodeName(Path("state")));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("state/koru")));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("other")));
    const char* const part = "other/.koru-partial-0123456789abcdef";
    struct Pointed {
        QString pointer;
        const char* file;
        bool removed;
    } rows[] = {
        {Path("other/notes.txt"), "other/notes.txt", false},
        {Path("other/.koru-partial-notes"), "other/.koru-partial-notes", false},
        {Path("other/../other/.koru-partial-0123456789abcdef"), part, false},
        {Path("other/.koru-partial-0123456789abcdef"), part, true},
    };
    for (const Pointed& row : rows) {
        Write(row.file, "bytes");
        Write((QByteArray(row.file) + ".info").constData(), "\"v1\"\n");
        WriteFile(Path("state/koru/kept-download"), QFile::encodeName(row.pointer));
        DownloadFile file(Path("vanto.zip"), "http://server/files/vanto.zip");
        EXPECT_EQ(QFile::exists(Path(row.file)), !row.removed) << row.pointer.toStdString();
    }
    // In the target's folder too, only KORU's own names are taken for kept parts.
    Write(".koru-partial-notes", "user's");
    DownloadFile file(Path("vanto.zip"), "http://server/files/vanto.zip");
    EXPECT_TRUE(QFile::exists(Path(".koru-partial-notes")));
    if (previous.isNull())
        qunsetenv("XDG_STATE_HOME");
    else
        qputenv("XDG_STATE_HOME", previous);
}

TEST_F(DownloadFileTest, FullDiskIsReportedAndNothingIsLeft) {
    // A file size limit fails writes as a full disk does.
    const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limit = previous;
    limit.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    int reserveError = 0;
    int writeError = 0;
    {
        DownloadFile file(Path("vanto.zip"));
        try {
            file.Reserve(1024 * 1024);
        } catch (const RuntimeError& e) {
            reserveError = e.Number();
        }
        const QByteArray piece(16 * 1024, 'x');
        try {
            for (int i = 0; i < 8; ++i)
                file.Write(piece.constData(), piece.size());
        } catch (const RuntimeError& e) {
            writeError = e.Number();
            EXPECT_EQ(e.Description(), QByteArray("Disk full"));
            EXPECT_EQ(e.Source(), QFile::encodeName(Path("vanto.zip")));
        }
    }
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousSignal);
    EXPECT_EQ(reserveError, 61);
    EXPECT_EQ(writeError, 61);
    EXPECT_TRUE(Files().isEmpty());
}

TEST_F(DownloadFileTest, VanishedFolderFailsTheCommit) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    DownloadFile file(Path("sub/vanto.zip"));
    file.Write("bytes", 5);
    ASSERT_TRUE(QDir(Path("sub")).removeRecursively());
    EXPECT_EQ(ErrorNumber([&] { file.Commit(); }), 76);
}

TEST_F(DownloadFileTest, MissingFolderFailsAtOnce) {
    const auto error = Raised([&] { DownloadFile file(Path("missing/vanto.zip")); });
    ASSERT_TRUE(error) << "created in a missing folder";
    EXPECT_EQ(error->Number(), 76);
    EXPECT_EQ(error->Description(), QByteArray("Path not found"));
}

} // namespace
