// The version check over a scripted connection, no socket and no window:
// what each answer to the version file leads to, and the order of its fetches.
#include "update/jobs/VersionCheck.h"

#include "update/formats/ServerPaths.h"
#include "update/jobs/ScriptedJobFixture.h"

#include <optional>

namespace {

using Fixture = ScriptedJobFixture;

struct VersionRow {
    const char* name;
    ScriptedConnection::Script version;
    bool offered;
    int failures;
    QByteArray logSays;
    std::optional<float> remoteVersion; // handed back once compared
};

const VersionRow versionRows[] = {
    {"NewerIsOffered", Fixture::Answer(Fixture::Ok("VER = 02.14\r\nNotes.")), true, 0,
     "\r\nVER = 02.14\r\nNotes.\r\n", 2.14f},
    {"SameIsNot", Fixture::Answer(Fixture::Ok("VER = 02.13")), false, 0,
     "You already have the most recent VANTO.\r\n", 2.13f},
    {"MissingFile", Fixture::Missing(), false, 0, "FAILED TO FIND UPDATE FILE ON THE SERVER\r\n",
     0.0f},
    {"ResetConnection", Fixture::Reset(), false, 1,
     "TRANSFER FAILED: /files/koru/vanto_ver.txt: Connection reset by peer.\r\n", std::nullopt},
};

class VersionCheckTest : public ScriptedJobFixture,
                         public ::testing::WithParamInterface<VersionRow> {};

TEST_P(VersionCheckTest, OffersWhatTheVersionFileSays) {
    const VersionRow& row = GetParam();
    VersionCheck check;
    std::optional<VersionCheck::Outcome> ended;
    check.Start(Tools({Missing(), row.version, Missing(), Answer(Ok("News."))}),
                [&](const VersionCheck::Outcome& outcome) { ended = outcome; });
    Wait([&] { return ended.has_value(); });

    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->offers.vanto, std::optional<bool>(row.offered));
    EXPECT_EQ(ended->offers.helpLinks, std::optional<bool>(false));
    EXPECT_EQ(ended->failures, row.failures);
    EXPECT_EQ(ended->localVersion, std::optional<float>(2.13f));
    EXPECT_EQ(ended->remoteVersion, row.remoteVersion);
    EXPECT_TRUE(log.Text().contains(row.logSays)) << log.Text().constData();
    EXPECT_TRUE(log.Text().contains("News.\r\n")) << log.Text().constData();
    EXPECT_EQ(Asked(), QByteArrayList({ServerPaths::killSwitch, ServerPaths::versionFile,
                                       ServerPaths::helpLinks, ServerPaths::otherInfo}));
}

INSTANTIATE_TEST_SUITE_P(Rows, VersionCheckTest, ::testing::ValuesIn(versionRows),
                         [](const ::testing::TestParamInfo<VersionRow>& row) {
                             return std::string(row.param.name);
                         });

} // namespace
