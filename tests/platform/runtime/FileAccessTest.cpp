// Binary and text file access: byte positions, every byte value kept, line ends.
#include "platform/runtime/FileAccess.h"

#include "platform/runtime/RuntimeError.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

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

TEST_F(FileAccessTest, OpenInMissingFolderRaisesPathNotFound) {
    try {
        BinaryFile file(path("no/such/folder.bin"));
        FAIL() << "opened";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), 76);
    }
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
    try {
        Kill(path("gone.bin"));
        FAIL() << "killed twice";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), 53);
    }
}

} // namespace
