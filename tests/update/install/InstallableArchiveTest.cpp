// Which archive may be installed at all: only the bytes a verified list
// marks installable, read through the descriptor the vetting then uses.
#include "update/install/InstallableArchive.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sodium.h>

namespace {

class InstallableArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        QByteArray hash(ReleaseList::hashSize, Qt::Uninitialized);
        crypto_generichash(reinterpret_cast<unsigned char*>(hash.data()), size_t(hash.size()),
                           reinterpret_cast<const unsigned char*>(bytes.constData()),
                           size_t(bytes.size()), nullptr, 0);
        list.files.append({"vanto.zip", bytes.size(), hash});
        list.installable = "vanto.zip";
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vanto.zip"));
    const QByteArray bytes = "PK archive bytes";
    ReleaseList list;
};

TEST_F(InstallableArchiveTest, OtherBytesThanListedAreRefused) {
    list.files[0].hash[0] = char(list.files[0].hash[0] ^ 1);
    const InstallableArchive archive(path, list);
    EXPECT_EQ(archive.Problem(),
              "The archive " + QFile::encodeName(path) +
                  " is not the one the release list marks installable: The file's BLAKE2b-256 "
                  "hash differs from the one the release list names.");
    EXPECT_EQ(archive.Descriptor(), -1);
}

} // namespace
