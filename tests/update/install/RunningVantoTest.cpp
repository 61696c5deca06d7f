// A copy of a small program started as VANTO from a folder of its own: seen
// running by its file, not by its name, waited for, and started detached.
#include "update/install/RunningVanto.h"

#include "update/install/VantoStart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

class RunningVantoTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(VantoStart::Start(folder, "bin/vanto", {QStringLiteral("60")}), "");
        pids = vanto.Pids();
        ASSERT_EQ(pids.size(), 1);
    }
    void TearDown() override {
        for (const pid_t pid : vanto.Pids())
            ::kill(pid, SIGKILL);
    }

    // A VANTO folder whose bin/vanto is a copy of sleep.
    QString Folder(const char* name) const {
        const QString made = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(QDir().mkpath(made + QStringLiteral("/bin")));
        EXPECT_TRUE(QFile::copy(QStandardPaths::findExecutable(QStringLiteral("sleep")),
                                made + QStringLiteral("/bin/vanto")));
        return made;
    }

    QTemporaryDir dir;
    const QString folder = Folder("vanto");
    const RunningVanto vanto{folder, "bin/vanto"};
    QList<pid_t> pids;
};

TEST_F(RunningVantoTest, StartsDetachedIsSeenByItsFileAndWaitedFor) {
    const QString process = QStringLiteral("/proc/%1/").arg(pids[0]);
    EXPECT_NE(::getsid(pids[0]), ::getsid(0));
    EXPECT_EQ(QFileInfo(process + QStringLiteral("cwd")).canonicalFilePath(),
              QDir(folder).canonicalPath());
    EXPECT_EQ(QFileInfo(process + QStringLiteral("fd/1")).symLinkTarget(), QProcess::nullDevice());
    EXPECT_TRUE(RunningVanto(Folder("other"), "bin/vanto").Pids().isEmpty());
    EXPECT_TRUE(
        VantoStart::Start(folder, "bin/gone").startsWith("VANTO could not be started from "));
    ::kill(pids[0], SIGTERM);
    EXPECT_TRUE(vanto.WaitClosed(60s));
}

// A link named as the program would make every process running its target VANTO.
TEST_F(RunningVantoTest, LinkToARunningProgramIsNoVanto) {
    const QString linked = dir.filePath(QStringLiteral("linked"));
    ASSERT_TRUE(QDir().mkpath(linked + QStringLiteral("/bin")));
    ASSERT_TRUE(QFile::link(vanto.Path(), linked + QStringLiteral("/bin/vanto")));
    EXPECT_TRUE(RunningVanto(linked, "bin/vanto").Pids().isEmpty());
}

TEST_F(RunningVantoTest, WaitEndsUnclosedAtItsTimeout) {
    EXPECT_FALSE(vanto.WaitClosed(50ms));
    EXPECT_EQ(vanto.Pids(), pids);
}

} // namespace
