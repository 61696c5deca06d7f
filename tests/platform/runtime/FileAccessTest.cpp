// Binary and text file access: byte positions, every byte value kept, line ends.
#include "platform/runtime/FileAccess.h"

#include "platform/runtime/RuntimeError.h"
#include "support/Raised.h"

#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/fsuid.h>
#include <unistd.h>

namespace {

// Root passes every permission check. While this lives, the calling thread's
// file-system user is nobody, which also drops root's override, and file
// permissions bind as they do for a user.
class FilesCheckedAsNobody {
public:
    FilesCheckedAsNobody() : previous_(static_cast<uid_t>(::setfsuid(nobody))) {}
    ~FilesCheckedAsNobody() { ::setfsuid(previous_); }
    FilesCheckedAsNobody(const FilesCheckedAsNobody&) = delete;
    FilesCheckedAsNobody& operator=(const FilesCheckedAsNobody&) = delete;

private:
    static constexpr uid_t nobody = 65534;
    uid_t previous_;
};

bool Writable(const QString& path) {
    return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) == 0;
}

class FileAccessTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
};

TEST_F(FileAccessTest, BinaryOpenCreatesMissingFileEmpty) {
    BinaryFile file(path("new.bin"));
    EXPECT_EQ(file.Length(), 0);
    EXPECT_TRUE(QFile::exists(path("new.bin")));
}

TEST_F(FileAccessTest, BinaryPutAndGetKeepEveryByteAtOneBasedPositions) {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    BinaryFile file(path("bytes.bin"));
    file.Put(1, all);
    file.Put(257, "tail");
    EXPECT_EQ(file.Length(), 260);
    EXPECT_EQ(file.Get(1, 256), all);
    EXPECT_EQ(file.Get(101, 5), all.mid(100, 5));
    EXPECT_EQ(file.Get(258, 10), QByteArray("ail")); // short near the end
    EXPECT_EQ(file.Get(400, 5), QByteArray());
}

TEST_F(FileAccessTest, ReadOnlyFileIsReadButNotWritten) {
    {
        BinaryFile file(path("VANTO.ini"));
        file.Put(1, QByteArray(99, ' ') + "02.13");
    }
    const auto read = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    ASSERT_TRUE(QFile::setPermissions(path("VANTO.ini"), read));
    ASSERT_TRUE(QFile::setPermissions(dir.path(),
                                      read | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
    std::optional<FilesCheckedAsNobody> asUser;
    if (Writable(path("VANTO.ini")))
        asUser.emplace();
    if (Writable(path("VANTO.ini")))
        GTEST_SKIP() << "file permissions do not bind for this user here";

    BinaryFile file(path("VANTO.ini"));
    EXPECT_EQ(file.Get(100, 5), QByteArray("02.13"));
    EXPECT_EQ(ErrorNumber([&] { file.Put(1, "x"); }), 75);
    // Nothing to fall back on for a file the read-only folder cannot hold.
    EXPECT_EQ(ErrorNumber([&] { BinaryFile missing(path("new.ver")); }), 75);
    asUser.reset();
    EXPECT_EQ(QFile(path("VANTO.ini")).size(), 104);
    EXPECT_FALSE(QFile::exists(path("new.ver")));
}

TEST_F(FileAccessTest, OpenInMissingFolderRaisesPathNotFound) {
    EXPECT_EQ(ErrorNumber([&] { BinaryFile file(path("no/such/folder.bin")); }), 76);
}

TEST_F(FileAccessTest, LinesEndAtCrOrCrLf) {
    {
        BinaryFile file(path("lines.txt"));
        file.Put(1, "one\r\ntwo\rthree\nstill three\r\n\r\nlast");
    }
    TextFile text(path("lines.txt"));
    QList<QByteArray> lines;
    while (!text.AtEnd())
        lines.append(text.LineInput());
    EXPECT_EQ(lines, (QList<QByteArray>{"one", "two", "three\nstill three", "", "last"}));
    EXPECT_THROW(text.LineInput(), RuntimeError);
}

TEST_F(FileAccessTest, KillDeletesAndRaisesForMissingFile) {
    { BinaryFile file(path("gone.bin")); }
    Kill(path("gone.bin"));
    EXPECT_FALSE(QFile::exists(path("gone.bin")));
    EXPECT_EQ(ErrorNumber([&] { Kill(path("gone.bin")); }), 53);
}

} // namespace
