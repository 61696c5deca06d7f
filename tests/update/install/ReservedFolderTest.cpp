// What KORU makes of a hostile or broken reserved folder (.koru/): a plan or
// record that names a path outside VANTO's folder, a FIFO or a huge file
// where its plan goes, a kept version it cannot read, a lock another KORU
// holds. Nothing outside the folder is touched, nothing hangs, and every
// start goes on or stops with the reason.
#include "platform/runtime/RuntimeError.h"
#include "support/TestFiles.h"
#include "support/TestZip.h"
#include "update/install/BeneathFolder.h"
#include "update/install/InstallCheck.h"
#include "update/install/UpdateInstaller.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct Hostile {
    const char* name;
    const char* setUp;   // shell lines; $V is VANTO's folder, $W beside it holds outside.txt
    const char* command; // the stepper's: recover or install
    bool asNobody;
    int status;
    const char* said;
};

class HostileReservedFolderTest : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileReservedFolderTest, TouchesNothingOutsideAndEndsWithTheReason) {
    QTemporaryDir work;
    QFile::setPermissions(work.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                           QFileDevice::ExeOther);
    WriteFile(
        work.filePath(QStringLiteral("v14.zip")),
        TestZip().File("VANTO.ini", IniWithVersion("02.14")).File("d0/a.dat", "new a").Bytes());
    const QByteArray command = GetParam().command == QByteArray("install")
                                   ? "install \"$W/v14.zip\" \"$V\" 02.14"
                                   : "recover \"$V\"";
    const QByteArray script =
        QByteArray("W=\"$1\"; V=\"$W/v\"; mkdir -p \"$V/d0\" \"$V/.koru\"\n"
                   "printf '%s02.13\\r\\n' \"$(printf '%099d' 0 | tr 0 '#')\" > \"$V/VANTO.ini\"\n"
                   "echo old > \"$V/d0/a.dat\"; echo outside > \"$W/outside.txt\"\n") +
        GetParam().setUp + "\nchmod -R go+rX \"$W\"\n" +
        (GetParam().asNobody ? "env -u XDG_RUNTIME_DIR HOME=/tmp setpriv --reuid=65534 "
                               "--regid=65534 --clear-groups "
                             : "") +
        "timeout 20 \"$2\" " + command + "; echo \"status $?\"\n" +
        "[ \"$(cat \"$W/outside.txt\")\" = outside ] && [ ! -e \"$W/made\" ] && echo untouched\n";
    QProcess shell;
    shell.start(QStringLiteral("sh"),
                {QStringLiteral("-c"), QString::fromUtf8(script), QStringLiteral("sh"), work.path(),
                 QStringLiteral(SWAP_STEPPER)});
    ASSERT_TRUE(shell.waitForFinished(60'000));
    const QByteArray out = shell.readAllStandardOutput() + shell.readAllStandardError();
    EXPECT_TRUE(out.contains(GetParam().said)) << out.toStdString();
    EXPECT_TRUE(out.contains("status " + QByteArray::number(GetParam().status) + "\nuntouched\n"))
        << out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HostileReservedFolderTest,
    ::testing::Values(
        Hostile{"PlanMovesAFileOutside",
                "printf 'koru-plan 1\\ntoken 1\\nkind install\\nfrom .koru/stage\\nold 1\\nnew 2\\n"
                "file 0 f0 5 6 ../outside.txt\\nend\\n' > \"$V/.koru/plan\"",
                "recover", false, 4, "is damaged"},
        Hostile{"PlanMakesAFolderOutside",
                "{ printf 'koru-plan 1\\ntoken 1\\nkind restore\\nfrom .koru/previous\\nold 1\\n"
                "new 2\\nrmdir ../made\\nend\\n' > \"$V/.koru/plan\"; }",
                "recover", false, 4, "is damaged"},
        Hostile{
            "PlanFromOutside",
            "{ printf 'koru-plan 1\\ntoken 1\\nkind install\\nfrom ..\\nold 1\\nnew 2\\nend\\n' "
            "> \"$V/.koru/plan\"; }",
            "recover", false, 4, "is damaged"},
        Hostile{
            "RecordNamesAFileOutside",
            "printf 'koru-installed 1\\ntoken 1\\nversion 02.13\\nfile ../outside.txt\\nend\\n' "
            "> \"$V/.koru/installed\"",
            "install", false, 2, "is damaged"},
        Hostile{"PlanIsAFifo", "mkfifo \"$V/.koru/plan\"", "recover", false, 4,
                "(.koru/plan is not a regular file)"},
        Hostile{"PlanLargerThanKoruWrites", "truncate -s 3G \"$V/.koru/plan\"", "recover", false, 4,
                "(.koru/plan is larger than KORU writes)"},
        Hostile{"UnwritableFolderWithoutAPlanTakesNoLock",
                "flock \"$V/.koru/lock\" sleep 30 & sleep 0.5", "recover", true, 0, "steps 0"}),
    [](const auto& row) { return std::string(row.param.name); });

// The walk that kernels without openat2 get refuses what openat2 would.
TEST(BeneathWalkTest, RefusesEveryWayOutOfTheFolder) {
    QTemporaryDir work;
    const QString vanto = work.filePath(QStringLiteral("v"));
    ASSERT_TRUE(QDir().mkpath(vanto + QStringLiteral("/d0")));
    WriteFile(work.filePath(QStringLiteral("outside.txt")), "outside");
    BeneathFolder::UseWalk();
    const BeneathFolder folder(vanto);
    for (const QByteArray path :
         {"../outside.txt", "d0/../../outside.txt", "/etc/passwd", "d0//x", "./d0"})
        EXPECT_FALSE(folder.Open(path, O_RDONLY).Valid()) << path.constData();
    for (const QByteArray path : {"..", "d0/..", "d0/."})
        EXPECT_THROW(folder.Rename("d0", path), RuntimeError) << path.constData();
    EXPECT_TRUE(folder.Open("d0", O_RDONLY | O_DIRECTORY).Valid());
    EXPECT_EQ(ReadFile(work.filePath(QStringLiteral("outside.txt"))), "outside");
}

class KeptVersionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(Path(".koru/previous")));
        WriteFile(Path("VANTO.ini"), IniWithVersion("02.14"));
    }
    QString Path(const char* name) const { return vanto.filePath(QString::fromLatin1(name)); }

    QTemporaryDir vanto;
};

// A kept version that cannot be read is none: KORU starts, says why once and
// offers no restore.
TEST_F(KeptVersionTest, UnreadableMeansNoneKeptAndTheStartGoesOn) {
    for (const char* breakIt : {"link", "fifo"}) {
        QDir(Path(".koru/previous")).removeRecursively();
        QFile::remove(Path(".koru/previous"));
        if (QByteArray(breakIt) == "link") {
            ASSERT_TRUE(QDir().mkpath(Path("elsewhere")));
            WriteFile(Path("elsewhere/version"), "01.00\n");
            ASSERT_TRUE(QFile::link(Path("elsewhere"), Path(".koru/previous")));
        } else {
            ASSERT_TRUE(QDir().mkpath(Path(".koru/previous")));
            ASSERT_EQ(::mkfifo(QFile::encodeName(Path(".koru/previous/plan")).constData(), 0600),
                      0);
        }
        QList<QByteArray> said;
        EXPECT_EQ(UpdateInstaller::AtStart(vanto.path(),
                                           [&said](const QByteArray& line) { said << line; }),
                  FolderSwap::Recovery::Nothing)
            << breakIt;
        ASSERT_EQ(said.size(), 1) << breakIt;
        EXPECT_TRUE(said[0].startsWith("KORU cannot read the version it kept for a restore, so it "
                                       "offers none: "))
            << said[0].constData();
        EXPECT_EQ(InstallCheck::KeptVersion(vanto.path()), "") << breakIt;
    }
}

// The lock is the writers' alone, and a run with no one at the terminal
// gives up on another KORU after its bound, saying so at once.
TEST_F(KeptVersionTest, ALockHeldElsewhereIsWaitedForWithinTheBound) {
    QList<QByteArray> notices;
    FolderSwap::SetWaiting([&notices](const QByteArray& line) { notices << line; },
                           std::chrono::seconds(1));
    QProcess holder;
    holder.start(QStringLiteral("flock"),
                 {Path(".koru/lock"), QStringLiteral("sleep"), QStringLiteral("20")});
    ASSERT_TRUE(holder.waitForStarted());
    QElapsedTimer held;
    held.start();
    while (held.elapsed() < 5'000 && !QFile::exists(Path(".koru/lock")))
        QThread::msleep(20);
    QThread::msleep(200);
    QList<QByteArray> said;
    const auto recovery =
        UpdateInstaller::AtStart(vanto.path(), [&said](const QByteArray& line) { said << line; });
    FolderSwap::SetWaiting({}, std::nullopt);
    holder.kill();
    holder.waitForFinished();
    EXPECT_EQ(recovery, FolderSwap::Recovery::Damaged);
    EXPECT_EQ(notices, QList<QByteArray>{"Another KORU is installing, restoring or recovering "
                                         "VANTO; waiting for it to finish."});
    EXPECT_EQ(said, QList<QByteArray>{"Another KORU kept VANTO's folder for 1 seconds; KORU gave "
                                      "up waiting for it."});
    // Opened by KORU, the lock became one no reader can open and hold.
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(Path(".koru/lock")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600U);
}

} // namespace
