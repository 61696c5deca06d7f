// Reading the installed and offered versions, the switch keyword and stamps.
#include "update/formats/VersionFiles.h"

#include "platform/runtime/Val.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The first removal loop, kept as the reference: the whole text lower-cased
// again for every occurrence.
QByteArray QuadraticWithoutKillSwitch(QByteArray text) {
    for (qsizetype at = text.toLower().indexOf("killswitchon"); at >= 0;
         at = text.toLower().indexOf("killswitchon", at))
        text.remove(at, 12);
    return text;
}

class VersionFilesTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    void write(const char* name, const QByteArray& bytes) const { WriteFile(path(name), bytes); }
    QTemporaryDir dir;
};

TEST_F(VersionFilesTest, MissingOrEmptyIniMeansNoInstallationAndIsLeftBehindEmpty) {
    EXPECT_EQ(VersionFiles::InstalledVersionText(path("VANTO.ini")), QByteArray("00.00"));
    EXPECT_TRUE(QFile::exists(path("VANTO.ini")));
    EXPECT_EQ(QFile(path("VANTO.ini")).size(), 0);
}

TEST_F(VersionFilesTest, InstalledVersionIsTheFiveBytesAtByteHundred) {
    write("VANTO.ini", QByteArray(99, 'x') + "02.13");
    EXPECT_EQ(VersionFiles::InstalledVersionText(path("VANTO.ini")), QByteArray("02.13"));
    EXPECT_FLOAT_EQ(float(Val("02.13")), 2.13f);
    write("short.ini", QByteArray(101, 'x') + "1");
    EXPECT_EQ(VersionFiles::InstalledVersionText(path("short.ini")), QByteArray("xx1"));
    write("tiny.ini", "7");
    EXPECT_EQ(VersionFiles::InstalledVersionText(path("tiny.ini")), QByteArray());
}

TEST_F(VersionFilesTest, OfferedVersionIsCharactersSevenToEleven) {
    EXPECT_EQ(VersionFiles::OfferedVersionText("VER = 02.14\r\nnotes"), QByteArray("02.14"));
    EXPECT_EQ(VersionFiles::OfferedVersionText("VER = 2.2.0"), QByteArray("2.2.0"));
    EXPECT_EQ(VersionFiles::OfferedVersionText("short"), QByteArray());
}

TEST_F(VersionFilesTest, NewerOnlyWhenStrictlyGreaterInSinglePrecision) {
    EXPECT_FALSE(VersionFiles::IsNewer(float(Val("02.13")), float(Val("02.13"))));
    EXPECT_TRUE(VersionFiles::IsNewer(float(Val("02.13")), float(Val("02.14"))));
    EXPECT_FALSE(VersionFiles::IsNewer(2.3f, float(Val("2.2.0"))));
    EXPECT_TRUE(VersionFiles::IsNewer(2.1f, float(Val("2.2.0"))));
    EXPECT_FALSE(VersionFiles::IsNewer(0.0f, float(Val("<htm"))));
}

TEST_F(VersionFilesTest, SwitchKeywordInAnyCaseIsFoundAndRemoved) {
    EXPECT_TRUE(VersionFiles::ContainsKillSwitch("Maintenance killswitchon until noon"));
    EXPECT_FALSE(VersionFiles::ContainsKillSwitch("KILLSWITCH OFF"));
    EXPECT_EQ(VersionFiles::WithoutKillSwitch("KillSwitchOnDown for KILLSWITCHONmaintenance."),
              QByteArray("Down for maintenance."));
    EXPECT_EQ(VersionFiles::WithoutKillSwitch("KILLSWITCHKILLSWITCHONON"),
              QByteArray("KILLSWITCHON"));
}

TEST_F(VersionFilesTest, SwitchKeywordRemovalMatchesTheFirstLoopOnRandomTexts) {
    // Pieces of the keyword in mixed case make joins, overlaps and near misses likely.
    const QByteArray pieces[] = {
        "KILLSWITCHON", "killswitchon", "KillSwitch", "ON",   "on",
        "KILL",         "SWITCHON",     "x",          "\r\n", QByteArray(1, '\0')};
    QRandomGenerator random(20240611);
    for (int round = 0; round < 2000; ++round) {
        QByteArray text;
        const int count = random.bounded(12);
        for (int i = 0; i < count; ++i)
            text += pieces[random.bounded(int(std::size(pieces)))];
        ASSERT_EQ(VersionFiles::WithoutKillSwitch(text), QuadraticWithoutKillSwitch(text))
            << text.toPercentEncoding().constData();
    }
}

TEST_F(VersionFilesTest, SwitchKeywordRemovalKeepsUpWithAMegabyteOfKeywords) {
    // The first loop took over a minute of CPU on this text.
    QByteArray text;
    for (int i = 0; i < 90000; ++i)
        text += i % 2 ? "KILLSWITCHON" : "killSwitchOn";
    EXPECT_TRUE(VersionFiles::ContainsKillSwitch(text));
    EXPECT_EQ(VersionFiles::WithoutKillSwitch(text + "rest"), QByteArray("rest"));
}

TEST_F(VersionFilesTest, StampsCompareExactlyAndShortStampsNeverMatch) {
    write("list.txt", "HL0007\r\nmanual");
    write("stamp.ver", "HL0007");
    write("lower.ver", "hl0007");
    EXPECT_EQ(VersionFiles::ReadStamp(path("list.txt")), QByteArray("HL0007"));
    EXPECT_TRUE(VersionFiles::SameStamp(VersionFiles::ReadStamp(path("stamp.ver")),
                                        VersionFiles::ReadStamp(path("list.txt"))));
    EXPECT_FALSE(VersionFiles::SameStamp(VersionFiles::ReadStamp(path("lower.ver")), "HL0007"));
    const QByteArray fresh = VersionFiles::ReadStamp(path("missing.ver"));
    EXPECT_TRUE(QFile::exists(path("missing.ver")));
    EXPECT_FALSE(VersionFiles::SameStamp(fresh, ""));
    EXPECT_FALSE(VersionFiles::SameStamp("HL1", "HL1"));
}

} // namespace
