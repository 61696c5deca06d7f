// Which archive may be installed at all: only the bytes a verified list
// marks installable, read through the descriptor the vetting then uses.
#include "update/install/InstallableArchive.h"

#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

} // namespace
