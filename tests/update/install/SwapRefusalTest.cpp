// What an install refuses before staging, each with its reason and VANTO's
// folder unchanged: one table, each row set up on a small file system of its
// own in a private mount namespace, some run as another user.
#include "support/TestFiles.h"
#include "support/TestZip.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Refusal {
    const char* name;
    const char* setUp; // shell lines; $V is VANTO's folder, $M its file system
    bool asNobody;
    const char* reason;
};

// The tree with modes, owners and checksums, .koru/ left out.
constexpr char snapshot[] =
    "snap() { find \"$V\" -path \"$V/.koru\" -prune -o -printf '%P %m %U\\n' | sort;"
    " find \"$V\" -path \"$V/.koru\" -prune -o -type f -exec md5sum {} + | sort; }\n";

class SwapRefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(SwapRefusalTest, RefusesBeforeStagingWithNothingChanged) {
    if (QProcess::execute(QStringLiteral("unshare"),
                          {QStringLiteral("-m"), QStringLiteral("true")}) != 0)
        GTEST_SKIP()
            << "no private mount namespace here (unshare -m needs root or user namespaces)";
    QTemporaryDir work;
    QFile::setPermissions(work.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                           QFileDevice::ExeOther);
    WriteFile(work.filePath(QStringLiteral("v14.zip")),
              TestZip()
                  .File("VANTO.ini", IniWithVersion("02.14"))
                  .File("d0/a.dat", "new a")
                  .File("d0/b.dat", QByteArray(300'000, 'b'))
                  .Bytes());
    const QByteArray script =
        QByteArray("set -e\nM=\"$1/mnt\"; V=\"$M/v\"; mkdir -p \"$M\"\n"
                   "mount -t tmpfs -o size=64m none \"$M\"\nmkdir -p \"$V/d0\"\n"
                   "printf '%s02.13\\r\\n' \"$(printf '%099d' 0 | tr 0 '#')\" > \"$V/VANTO.ini\"\n"
                   "echo old > \"$V/d0/a.dat\"\n") +
        snapshot + GetParam().setUp + "\nbefore=$(snap)\nset +e\n" +
        (GetParam().asNobody ? "env -u XDG_RUNTIME_DIR HOME=/tmp setpriv --reuid=65534 "
                               "--regid=65534 --clear-groups "
                             : "") +
        "\"$2\" install \"$1/v14.zip\" \"$V\" 02.14; echo \"status $?\"\n"
        "[ \"$(snap)\" = \"$before\" ] && echo unchanged\n";
    QProcess shell;
    shell.start(QStringLiteral("unshare"),
                {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                 QString::fromUtf8(script), QStringLiteral("sh"), work.path(),
                 QStringLiteral(SWAP_STEPPER)});
    ASSERT_TRUE(shell.waitForFinished(60'000));
    const QByteArray out = shell.readAllStandardOutput() + shell.readAllStandardError();
    EXPECT_TRUE(out.contains(GetParam().reason)) << out.toStdString();
    EXPECT_TRUE(out.contains("status 2\nunchanged\n")) << out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, SwapRefusalTest,
    ::testing::Values(
        Refusal{"NoSpace", "mount -o remount,size=1m \"$M\"", false,
                "There is not enough free space for the update"},
        Refusal{"ReadOnlyMount", "mount -o remount,ro \"$M\"", false, "(Read-only file system)"},
        Refusal{"SymlinkedFolder", "mv \"$V/d0\" \"$M/elsewhere\"; ln -s ../elsewhere \"$V/d0\"",
                false, "needs \"d0\" as a folder, but VANTO's folder has a file or link there"},
        Refusal{"FolderOnAnotherMount", "mount -t tmpfs none \"$V/d0\"; echo old > \"$V/d0/a.dat\"",
                false, "The folder \"d0\" is on another mount than .koru/"},
        Refusal{"FolderTheUserCannotWrite",
                "chown -R 65534:65534 \"$V\"; chown 0:0 \"$V/d0\" \"$V/d0/a.dat\"", true,
                "KORU may not write in the folder \"d0\" (Permission denied)"},
        Refusal{"SubfolderTheUserCannotSearch",
                "chown -R 65534:65534 \"$V\"; chown 0:0 \"$V/d0\"; chmod 700 \"$V/d0\"", true,
                "\"d0/a.dat\" cannot be looked at in VANTO's folder (Permission denied)."},
        Refusal{"StickyFolderWithOthersFiles",
                "chown -R 65534:65534 \"$V\"; chown 0:0 \"$V/d0\" \"$V/d0/a.dat\"; "
                "chmod 1777 \"$V/d0\"; chmod 666 \"$V/d0/a.dat\"",
                true, "is sticky and \"d0/a.dat\" belongs to another user"}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
