// Which archive may be installed at all: only the bytes a verified list
// marks installable, read from the private copy the vetting then uses.
#include "update/install/InstallableArchive.h"

#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sodium.h>
#include <unistd.h>

namespace {

TEST(InstallableArchiveTest, OtherBytesThanListedAreRefused) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vanto.zip"));
    const QByteArray bytes = "PK archive bytes";
    WriteFile(path, bytes);
    ReleaseList list;
    list.files.append({"vanto.zip", bytes.size(), QByteArray(ReleaseList::hashSize, '\0')});
    list.installable = "vanto.zip";
    const InstallableArchive archive(path, list);
    EXPECT_EQ(archive.Problem(),
              "The archive " + QFile::encodeName(path) +
                  " is not the one the release list marks installable: The file's BLAKE2b-256 "
                  "hash differs from the one the release list names.");
    EXPECT_EQ(archive.Descriptor(), -1);
}

// The user who owns a saved archive rewrites it in place while root installs
// it: what is vetted and unpacked is still the bytes whose hash was checked.
TEST(InstallableArchiveTest, BytesWrittenAfterTheHashAreNotRead) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vanto.zip"));
    const QByteArray bytes(200'000, 'v');
    WriteFile(path, bytes);
    QByteArray hash(ReleaseList::hashSize, Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char*>(hash.data()), size_t(hash.size()),
                       reinterpret_cast<const unsigned char*>(bytes.constData()),
                       size_t(bytes.size()), nullptr, 0);
    ReleaseList list;
    list.files.append({"vanto.zip", bytes.size(), hash});
    list.installable = "vanto.zip";
    const InstallableArchive archive(path, list);
    ASSERT_EQ(archive.Problem(), "");
    QFile same(path);
    ASSERT_TRUE(same.open(QIODevice::ReadWrite)); // in place: the same inode
    same.write(QByteArray(bytes.size(), 'x'));
    same.close();
    QByteArray read(bytes.size() + 1, '\0');
    EXPECT_EQ(::pread(archive.Descriptor(), read.data(), size_t(read.size()), 0), bytes.size());
    EXPECT_EQ(read.left(bytes.size()), bytes);
}

} // namespace
