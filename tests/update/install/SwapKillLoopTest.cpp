// A kill at any step of an install, of the recovery after one, or of a
// restore leaves VANTO's folder, once KORU starts again, byte for byte the
// old version or the new one, modes included (.koru/ and times left out).
// The engine runs as its own process (swap-stepper), ended by the step seam.
#include "stepper/SwapStepper.h"
#include "support/TestFiles.h"
#include "support/TestZip.h"
#include "support/TreeSnapshot.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Tree = TreeSnapshot;

Tree Snapshot(const QByteArray& folder) {
    return SnapshotOf(QString::fromUtf8(folder), {QStringLiteral(".koru")});
}

struct Stepped {
    int status = -1;
    qint64 steps = 0;
    QByteArray out;
};

Stepped Step(const QByteArrayList& words, qint64 stopAfter = 0) {
    QStringList arguments;
    for (const QByteArray& word : words)
        arguments << QString::fromUtf8(word);
    QProcess stepper;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(stopAfterVariable), QString::number(stopAfter));
    stepper.setProcessEnvironment(environment);
    stepper.start(QStringLiteral(SWAP_STEPPER), arguments);
    EXPECT_TRUE(stepper.waitForFinished(60'000));
    const QByteArray out = stepper.readAllStandardOutput();
    return {stepper.exitCode(), out.mid(out.lastIndexOf("steps ") + 6).trimmed().toLongLong(), out};
}

QByteArray Files(const char* prefix, int count, const char* what) {
    return prefix + QByteArray::number(count) + what;
}

// VANTO 02.13 as KORU installed it over 01.00 (so there is a record, and
// files the next version drops), and the 2,001-file archive of 02.14.
class SwapKillLoopTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // On a RAM disk when there is one: the flushes then cost nothing.
        work = new QTemporaryDir(QDir(QStringLiteral("/dev/shm")).exists()
                                     ? QStringLiteral("/dev/shm/koru-swap-XXXXXX")
                                     : QDir::tempPath() + QStringLiteral("/koru-swap-XXXXXX"));
        TestZip older;
        TestZip newer;
        older.File("VANTO.ini", IniWithVersion("02.13"));
        newer.File("VANTO.ini", IniWithVersion("02.14"));
        for (int i = 0; i < 1900; ++i) {
            const QByteArray name = Files("d", i % 20, "/f") + QByteArray::number(i) + ".dat";
            if (i < 1500)
                older.File(name, "old " + name, i % 5 == 0 ? 0100755 : 0100644);
            newer.File(name, "new " + name, i % 7 == 0 ? 0100755 : 0100644);
        }
        for (int i = 0; i < 100; ++i) {
            older.File(Files("gone/x", i, ".dat"), "dropped");
            newer.File(Files("added/sub/n", i, ".dat"), "added");
        }
        WriteFile(work->filePath(QStringLiteral("v13.zip")), older.Bytes());
        WriteFile(work->filePath(QStringLiteral("v14.zip")), newer.Bytes());
        QDir().mkpath(work->filePath(QStringLiteral("pristine/d0")));
        WriteFile(work->filePath(QStringLiteral("pristine/VANTO.ini")), IniWithVersion("01.00"));
        WriteFile(work->filePath(QStringLiteral("pristine/d0/user.txt")), "the user's own");
        ASSERT_EQ(Step({"install", Path("v13.zip"), Path("pristine"), "02.13"}).status, 0);
        oldTree = Snapshot(Path("pristine"));
        const QByteArray full = Fresh();
        const Stepped install = Step({"install", Path("v14.zip"), full, "02.14"});
        ASSERT_EQ(install.status, 0);
        installSteps = install.steps;
        newTree = Snapshot(full);
        ASSERT_NE(oldTree, newTree);
        // The user's file stays; the one 02.13 put there and 02.14 lacks goes.
        EXPECT_EQ(newTree.count(QStringLiteral("d0/user.txt")), 1U);
        EXPECT_EQ(newTree.count(QStringLiteral("gone/x0.dat")), 0U);
    }
    static void TearDownTestSuite() { delete work; }

    static QByteArray Path(const char* name) {
        return work->filePath(QString::fromLatin1(name)).toUtf8();
    }

    // A copy of the old version's folder, .koru/ and all.
    static QByteArray Fresh() {
        const QString copy = work->filePath(QStringLiteral("run%1").arg(++runs));
        EXPECT_EQ(
            QProcess::execute(QStringLiteral("cp"),
                              {QStringLiteral("-a"), QString::fromUtf8(Path("pristine")), copy}),
            0);
        return copy.toUtf8();
    }

    // What the next start of KORU leaves: the old tree (-1), the new (1) or other (0).
    static int Settled(const QByteArray& folder) {
        EXPECT_EQ(Step({"recover", folder}).status, 0);
        const Tree tree = Snapshot(folder);
        return tree == oldTree ? -1 : tree == newTree ? 1 : 0;
    }

    static Stepped Install(const QByteArray& folder, qint64 stopAfter) {
        return Step({"install", Path("v14.zip"), folder, "02.14"}, stopAfter);
    }

    static inline QTemporaryDir* work = nullptr;
    static inline Tree oldTree;
    static inline Tree newTree;
    static inline qint64 installSteps = 0;
    static inline int runs = 0;
};

TEST_F(SwapKillLoopTest, AKilledInstallEndsOldOrNew) {
    // Past the 2,001 staged files, their flush and the plan, the swap's
    // steps; a few in staging too.
    const qint64 swapStart = 2'004;
    int ends[3] = {};
    for (int point = 0; point < 56; ++point) {
        const qint64 stop =
            point < 6 ? 1 + point * 400 : swapStart + (installSteps - swapStart) * (point - 6) / 49;
        const QByteArray folder = Fresh();
        EXPECT_EQ(Install(folder, stop).status, stoppedStatus) << stop;
        ++ends[Settled(folder) + 1];
    }
    EXPECT_EQ(ends[1], 0);
    EXPECT_GT(ends[0], 0);
    EXPECT_GT(ends[2], 0);
}

TEST_F(SwapKillLoopTest, AKilledRecoveryIsRecoveredAtTheNextStart) {
    int ends[3] = {};
    for (const double into : {0.3, 0.6, 0.9, 0.999}) {
        const qint64 stop = 2'000 + qint64(double(installSteps - 2'000) * into);
        const QByteArray probe = Fresh();
        Install(probe, stop);
        const qint64 recoverySteps = Step({"recover", probe}).steps;
        for (int point = 1; point <= 5; ++point) {
            const QByteArray folder = Fresh();
            Install(folder, stop);
            EXPECT_EQ(
                Step({"recover", folder}, std::max<qint64>(1, recoverySteps * point / 6)).status,
                stoppedStatus);
            ++ends[Settled(folder) + 1];
        }
    }
    EXPECT_EQ(ends[1], 0);
    EXPECT_GT(ends[0], 0);
}

TEST_F(SwapKillLoopTest, RestoreSwapsBackAndForthAndSurvivesAKill) {
    const QByteArray folder = Fresh();
    ASSERT_EQ(Install(folder, 0).status, 0);
    const Stepped restore = Step({"restore", folder});
    ASSERT_EQ(restore.status, 0);
    EXPECT_EQ(Snapshot(folder), oldTree);
    ASSERT_EQ(Step({"restore", folder}).status, 0);
    EXPECT_EQ(Snapshot(folder), newTree);
    int ends[3] = {};
    for (int point = 1; point <= 10; ++point) {
        const QByteArray killed = Fresh();
        ASSERT_EQ(Install(killed, 0).status, 0);
        EXPECT_EQ(Step({"restore", killed}, restore.steps * point / 11).status, stoppedStatus);
        ++ends[Settled(killed) + 1];
    }
    EXPECT_EQ(ends[1], 0);
}

// A file of the user's that a restore replaces is kept only until the next
// install rotates the kept version out: the restore says so.
TEST_F(SwapKillLoopTest, RestoreNamesTheUsersOwnFileItReplaces) {
    const QByteArray folder = Fresh();
    ASSERT_EQ(Install(folder, 0).status, 0);
    QDir().mkpath(QString::fromUtf8(folder + "/gone"));
    WriteFile(QString::fromUtf8(folder + "/gone/x0.dat"), "the user's own, made since");
    const Stepped restore = Step({"restore", folder});
    ASSERT_EQ(restore.status, 0);
    EXPECT_TRUE(restore.out.contains("Your own file \"gone/x0.dat\", which the restore replaced, "
                                     "is kept in .koru/previous/ only until the next install."))
        << restore.out.constData();
    EXPECT_EQ(Snapshot(folder), oldTree);
}

} // namespace
