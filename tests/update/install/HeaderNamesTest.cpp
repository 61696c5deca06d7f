// The names the central directory carries, read beside libzip: in plain and
// zip64 end records, and nothing for a directory that is not where its end
// record says.
#include "update/install/HeaderNames.h"

#include "support/TestZip.h"

#include <QTemporaryFile>
#include <gtest/gtest.h>

namespace {

std::optional<QList<QByteArray>> NamesOf(const QByteArray& archive) {
    QTemporaryFile file;
    EXPECT_TRUE(file.open());
    file.write(archive);
    file.flush();
    return HeaderNames::Read(file.handle());
}

TEST(HeaderNamesTest, ReadsPlainAndZip64EndRecords) {
    EXPECT_EQ(NamesOf(TestZip().File("a.txt", "x").Folder("d/").Bytes()),
              (QList<QByteArray>{"a.txt", "d/"}));
    EXPECT_EQ(NamesOf(TestZip::ManyFolders(3)), (QList<QByteArray>{"d0/", "d1/", "d2/"}));
}

TEST(HeaderNamesTest, FindsNothingWhereTheEndRecordPointsAmiss) {
    EXPECT_EQ(NamesOf("PK junk" + TestZip().File("a.txt", "x").Bytes()), std::nullopt);
    EXPECT_EQ(NamesOf("not a zip archive at all"), std::nullopt);
}

} // namespace
