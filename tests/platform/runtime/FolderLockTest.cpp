// Folder locks and the instance check: every running copy counts, a look
// disturbs no one, and nothing is left in the program's folder. Other copies
// are this test program started again as a child process.
#include "platform/runtime/FolderLock.h"

#include "platform/runtime/App.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Another running copy of the program on `folder`, until End().
class OtherCopy {
public:
    explicit OtherCopy(const QString& folder) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KORU_INSTANCE_FOLDER"), folder);
        process_.setProcessEnvironment(environment);
        process_.start(QCoreApplication::applicationFilePath(),
                       {QStringLiteral("--gtest_also_run_disabled_tests"),
                        QStringLiteral("--gtest_filter=OtherCopyTest.DISABLED_RunAsOtherCopy")});
    }
    ~OtherCopy() { End(); }

    // What the copy's instance check answered as it started.
    bool SawAnother() {
        QByteArray out;
        for (int i = 0; i < 300 && !out.contains("seen="); ++i) {
            process_.waitForReadyRead(100);
            out += process_.readAllStandardOutput();
        }
        EXPECT_TRUE(out.contains("seen=")) << out.constData();
        return out.contains("seen=1");
    }
    void End() {
        process_.closeWriteChannel();
        EXPECT_TRUE(process_.state() == QProcess::NotRunning || process_.waitForFinished(30000));
    }

private:
    QProcess process_;
};

class FolderLockTest : public ::testing::Test {
protected:
    FolderLockTest() : previousRuntime_(qgetenv("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
    }
    ~FolderLockTest() override {
        App::ReleaseInstance();
        App::SetPath({});
        qputenv("XDG_RUNTIME_DIR", previousRuntime_);
    }

    bool PrevInstanceNow(const QString& folder) {
        App::ReleaseInstance();
        App::SetPath(folder);
        return App::PrevInstance();
    }

    QTemporaryDir runtime_;
    QTemporaryDir vanto_;
    QTemporaryDir otherVanto_;

private:
    QByteArray previousRuntime_;
};

// The other copy's side: it keeps the runtime folder it was given.
TEST(OtherCopyTest, DISABLED_RunAsOtherCopy) {
    App::SetPath(QFile::decodeName(qgetenv("KORU_INSTANCE_FOLDER")));
    std::printf("seen=%d\n", App::PrevInstance() ? 1 : 0);
    std::fflush(stdout);
    char byte;
    while (::read(0, &byte, 1) > 0) {
    }
}

TEST_F(FolderLockTest, EveryRunningCopyCountsUntilItEnds) {
    auto a = std::make_unique<OtherCopy>(vanto_.path());
    EXPECT_FALSE(a->SawAnother());
    OtherCopy b(vanto_.path());
    EXPECT_TRUE(b.SawAnother());
    OtherCopy elsewhere(otherVanto_.path());
    EXPECT_FALSE(elsewhere.SawAnother());
    a.reset(); // the first copy closes; the second still runs
    EXPECT_TRUE(PrevInstanceNow(vanto_.path()));
    EXPECT_TRUE(PrevInstanceNow(vanto_.path())); // looking took nothing from b
    b.End();
    EXPECT_FALSE(PrevInstanceNow(vanto_.path()));
    // The program's folder holds only VANTO's files.
    EXPECT_TRUE(QDir(vanto_.path())
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
}

TEST_F(FolderLockTest, LocksLiveInTheRuntimeFolderKeyedByTheCanonicalFolder) {
    ASSERT_TRUE(QFile::link(vanto_.path(), otherVanto_.filePath(QStringLiteral("link"))));
    FolderLock direct(vanto_.path(), "scratch");
    FolderLock viaLink(otherVanto_.filePath(QStringLiteral("link")) + u'/', "scratch");
    FolderLock other(otherVanto_.path(), "scratch");
    EXPECT_EQ(QFileInfo(direct.FilePath()).path(), runtime_.filePath(QStringLiteral("koru")));
    ASSERT_TRUE(direct.TryLock(FolderLock::Exclusive));
    EXPECT_FALSE(viaLink.TryLock(FolderLock::Exclusive)); // also within one process
    EXPECT_TRUE(other.TryLock(FolderLock::Exclusive));
}

TEST_F(FolderLockTest, WithoutRuntimeFolderAPrivateFolderNotOursGivesWayToTheCache) {
    const QByteArray tmp = QFile::encodeName(runtime_.path());
    const QByteArray previousCache = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", tmp + "/cache");
    qunsetenv("XDG_RUNTIME_DIR");
    ASSERT_EQ(
        ::mkdir((tmp + "/open").constData(), 0755) | ::chmod((tmp + "/open").constData(), 0755), 0);
    EXPECT_EQ(FolderLock::Directory(tmp + "/fresh"), QFile::decodeName(tmp + "/fresh"));
    EXPECT_EQ(FolderLock::Directory(tmp + "/open"), QFile::decodeName(tmp + "/cache/koru/locks"));
    qputenv("XDG_CACHE_HOME", previousCache);
    struct stat locks {};
    ASSERT_EQ(::stat((tmp + "/cache/koru/locks").constData(), &locks), 0);
    EXPECT_EQ(locks.st_mode & 077, 0u);
}

} // namespace
