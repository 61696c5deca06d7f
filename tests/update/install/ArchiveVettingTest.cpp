// Vetting an archive before anything is written: one table of hostile
// archives, each refused for its one reason with VANTO's folder untouched,
// the sample's layout, whose top folder goes, planned file by file, and
// staging's progress as the install unpacks the plan.
#include "update/install/ArchiveVetting.h"

#include "support/TestFiles.h"
#include "support/TestZip.h"
#include "update/install/UpdateInstaller.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray goodIni = IniWithVersion("02.14");

// VANTO 02.13's folder, with KORU's files/ and an old README.
class ArchiveVettingTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(vanto.path()).mkpath(QStringLiteral("files/koru")));
        WriteFile(vanto.filePath(QStringLiteral("VANTO.ini")), IniWithVersion("02.13"));
        WriteFile(vanto.filePath(QStringLiteral("README.txt")), "old");
    }

    // Every path with its size and time, to show nothing was written.
    QStringList Tree() const {
        QStringList tree;
        QDirIterator it(vanto.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            tree << info.filePath() + u' ' + QString::number(info.size()) + u' ' +
                        QString::number(info.lastModified().toMSecsSinceEpoch());
        }
        tree.sort();
        return tree;
    }

    InstallPlan Vet(const QByteArray& archive) {
        const QString path = work.filePath(QStringLiteral("vanto.zip"));
        WriteFile(path, archive);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        const InstallPlan plan =
            ArchiveVetting::Vet(fd, vanto.path(), "02.14", FolderRoom{1'000'000'000, 1'000, 4096});
        ::close(fd);
        return plan;
    }

    QTemporaryDir vanto;
    QTemporaryDir work;
};

TestZip Good() {
    return std::move(TestZip().File("VANTO.ini", goodIni).File("README.txt", "new"));
}

// Good() and `count` files, each `depth` folders deep in folders of its own.
QByteArray Deep(int count, int depth) {
    TestZip zip = Good();
    for (int i = 0; i < count; ++i) {
        QByteArray name = 'e' + QByteArray::number(i);
        for (int level = 1; level < depth; ++level)
            name += "/d";
        zip.File(name + "/f", "x");
    }
    return zip.Bytes();
}

QByteArray PathOfLength(qsizetype length) {
    QByteArray path;
    while (path.size() + 100 < length)
        path += QByteArray(99, 'p') + '/';
    return path + QByteArray(length - path.size(), 'f');
}

struct Hostile {
    const char* name;
    QByteArray (*archive)();
    std::string problem;
};

class HostileArchiveTest : public ArchiveVettingTest,
                           public ::testing::WithParamInterface<Hostile> {};

TEST_P(HostileArchiveTest, IsRefusedWithItsReasonAndNothingWritten) {
    const QStringList before = Tree();
    const InstallPlan plan = Vet(GetParam().archive());
    EXPECT_EQ(plan.problem.toStdString(), GetParam().problem);
    EXPECT_EQ(Tree(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HostileArchiveTest,
    ::testing::Values(
        Hostile{"ZipSlip", [] { return Good().File("../evil.txt", "x").Bytes(); },
                "The archive's entry \"../evil.txt\" climbs out of VANTO's folder with \"..\"."},
        Hostile{"Absolute", [] { return Good().File("/etc/evil", "x").Bytes(); },
                "The archive's entry \"/etc/evil\" has an absolute path."},
        Hostile{"Backslash", [] { return Good().File("files\\evil", "x").Bytes(); },
                "The archive's entry \"files\\evil\" has a backslash in its name."},
        Hostile{"ControlCharacter", [] { return Good().File("evil\x1b.txt", "x").Bytes(); },
                "The archive's entry \"evil\\x1b.txt\" has a control character in its name."},
        Hostile{
            "NotUtf8",
            [] { return Good().File("cafe.txt", "x").Rename("cafe.txt", "caf\xe9.txt").Bytes(); },
            "The archive's entry \"caf\\xe9.txt\" has a name that is not UTF-8."},
        Hostile{"Symlink", [] { return Good().File("link", "/etc", S_IFLNK | 0777).Bytes(); },
                "The archive's entry \"link\" is a symbolic link."},
        Hostile{"Device", [] { return Good().File("tty", "", S_IFCHR | 0666).Bytes(); },
                "The archive's entry \"tty\" is a device or other special file."},
        Hostile{"Duplicate",
                [] {
                    return Good()
                        .File("a.txt", "x")
                        .File("b.txt", "y")
                        .Rename("b.txt", "a.txt")
                        .Bytes();
                },
                "The archive names \"a.txt\" twice."},
        Hostile{"FileWhereTheFolderHasAFolder", [] { return Good().File("files", "x").Bytes(); },
                "The archive's entry \"files\" is a file where VANTO's folder has a folder."},
        Hostile{"FileWhereTheArchiveHasAFolder",
                [] { return Good().File("docs", "x").File("docs/a.txt", "y").Bytes(); },
                "The archive's entry \"docs/a.txt\" needs \"docs\" as a folder, but the archive "
                "holds a file by that name."},
        Hostile{"ReservedFolder", [] { return Good().File(".koru/journal", "x").Bytes(); },
                "The archive's entry \".koru/journal\" is in .koru/, which KORU keeps for itself."},
        Hostile{"KeyFile", [] { return Good().File("files/koru/update.pub", "key").Bytes(); },
                "The archive's entry \"files/koru/update.pub\" would change the keys KORU trusts."},
        Hostile{
            "WrongIniVersion",
            [] { return TestZip().File("VANTO.ini", IniWithVersion("02.13")).Bytes(); },
            "The archive's VANTO.ini carries version \"02.13\"; the release list offers 02.14."},
        Hostile{"NoIni", [] { return TestZip().File("README.txt", "new").Bytes(); },
                "The archive holds no VANTO.ini at its root."},
        Hostile{"Encrypted",
                [] { return Good().Patch("README.txt", TestZip::Field::Flags, 1).Bytes(); },
                "The archive's entry \"README.txt\" is encrypted."},
        Hostile{"UnknownMethod",
                [] { return Good().Patch("README.txt", TestZip::Field::Method, 98).Bytes(); },
                "The archive's entry \"README.txt\" uses compression method 98, which KORU "
                "cannot inflate."},
        Hostile{"TooManyEntries", [] { return TestZip::ManyFolders(100'001); },
                "The archive has 100001 entries; KORU installs at most 100000."},
        Hostile{"DeclaredTooBig",
                [] { return Good().Patch("README.txt", TestZip::Field::Size, 0xFFFFFFF0).Bytes(); },
                "There is not enough free space for the update in VANTO's folder: it needs 4.7 "
                "GB, and 1.0 GB are free."},
        Hostile{"MoreInodesThanFree", [] { return Good().Folders(1'000).Bytes(); },
                "There are not enough free inodes for the update in VANTO's folder: it needs "
                "1118, and 1000 are free."},
        Hostile{"InflatesPastDeclared",
                [] {
                    return Good()
                        .File("big.txt", QByteArray(100'000, 'a'))
                        .Patch("big.txt", TestZip::Field::Size, 10)
                        .Bytes();
                },
                "The archive's entry \"big.txt\" inflates past its declared size of 10 bytes."},
        Hostile{"EmptyIni", [] { return TestZip().File("VANTO.ini", "").Bytes(); },
                "The archive's VANTO.ini holds no version."},
        Hostile{"PartLongerThanTheFileSystemTakes",
                [] { return Good().File(QByteArray(256, 'n'), "x").Bytes(); },
                "The archive's entry \"" + std::string(256, 'n') +
                    "\" has a part longer than 255 bytes, which the file system does not take."},
        Hostile{"PathLongerThanTheFileSystemTakes",
                [] { return Good().File(PathOfLength(4096), "x").Bytes(); },
                "The archive's entry \"" + PathOfLength(4096).toStdString() +
                    "\" has a path of 4096 bytes; the file system takes at most 4095."},
        Hostile{"ImpliedFoldersPastTheLimit", [] { return Deep(1'001, 100); },
                "The archive's names imply more than 100000 files and folders, or more than "
                "16.8 MB of names; KORU installs no more."},
        Hostile{"ImpliedFoldersNeedInodes", [] { return Deep(10, 100); },
                "There are not enough free inodes for the update in VANTO's folder: it needs "
                "1129, and 1000 are free."},
        Hostile{"UnicodePathNamesAnotherFile",
                [] { return Good().File("plain.txt", "x").UnicodePath("other.txt").Bytes(); },
                "The archive's entry \"other.txt\" has a Unicode path field that names it "
                "otherwise than its header."}),
    [](const ::testing::TestParamInfo<Hostile>& row) { return row.param.name; });

TEST_F(ArchiveVettingTest, SampleLayoutLosesItsTopFolderAndKeepsOnlyTheOwnersExecuteBit) {
    const InstallPlan plan = Vet(TestZip()
                                     .Folder("VANTO/")
                                     .File("VANTO/VANTO.ini", goodIni, S_IFREG | 0666)
                                     .File("VANTO/README.txt", "new")
                                     .File("VANTO/bin/vanto", "#!/bin/sh\n", S_IFREG | 04777)
                                     .Bytes());
    ASSERT_TRUE(plan.Installable()) << plan.problem.constData();
    QStringList planned;
    for (const InstallPlan::Entry& entry : plan.entries)
        planned << QString::fromUtf8(entry.path) + u' ' + QString::number(entry.mode, 8);
    EXPECT_EQ(planned,
              (QStringList{u"VANTO.ini 644"_qs, u"README.txt 644"_qs, u"bin/vanto 755"_qs}));
    EXPECT_EQ(plan.Lines(),
              (QList<QByteArray>{
                  "  replaces VANTO.ini (" + QByteArray::number(goodIni.size()) + " bytes)",
                  "  replaces README.txt (3 bytes)", "  adds     bin/vanto (10 bytes)",
                  "3 files, " + QByteArray::number(goodIni.size() + 13) +
                      " bytes: 2 replaced, 1 added."}));
}

TEST_F(ArchiveVettingTest, AUnicodePathFieldThatRepeatsTheNameIsTaken) {
    const InstallPlan plan =
        Vet(Good().File("caf\xc3\xa9.txt", "x").UnicodePath("caf\xc3\xa9.txt").Bytes());
    EXPECT_TRUE(plan.Installable()) << plan.problem.constData();
}

// Staging's reports never fall back nor pass the totals, and end once, whole.
TEST_F(ArchiveVettingTest, StagingReportsClimbToTheTotalsAndEndOnce) {
    const QString path = work.filePath(QStringLiteral("vanto.zip"));
    WriteFile(path, Good().File("big.dat", QByteArray(300'000, 'b')).Bytes());
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const InstallPlan plan = ArchiveVetting::Vet(fd, vanto.path(), "02.14",
                                                 FolderRoom{1'000'000'000, 1'000, 4096}, false);
    UpdateInstaller::Staging last;
    QList<bool> ends;
    const UpdateInstaller::Progress progress = [&](const UpdateInstaller::Staging& s, bool done) {
        EXPECT_TRUE(!ends.contains(true) && s.files >= last.files && s.bytes >= last.bytes &&
                    s.files <= s.ofFiles && s.bytes <= s.ofBytes);
        last = s;
        ends << done;
    };
    EXPECT_EQ(UpdateInstaller(
                  vanto.path(), [](const QByteArray&) {}, progress)
                  .Install(fd, plan, "02.14"),
              "");
    ::close(fd);
    ASSERT_FALSE(ends.isEmpty());
    EXPECT_TRUE(!ends.first() && ends.last()); // shown at once; done last
    EXPECT_EQ(QList<qint64>({last.files, last.ofFiles, last.bytes, last.ofBytes}),
              QList<qint64>({3, 3, plan.Bytes(), plan.Bytes()}));
}

} // namespace
