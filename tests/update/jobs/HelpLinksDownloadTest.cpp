// The help-links update over a scripted connection, no socket and no window:
// each item's text and picture in turn, and the stamp only once all arrived.
#include "update/jobs/HelpLinksDownload.h"

#include "update/formats/FolderPaths.h"
#include "update/jobs/ScriptedJobFixture.h"

#include <optional>

namespace {

using Fixture = ScriptedJobFixture;

struct ItemsRow {
    const char* name;
    ScriptedConnection::Script guidePicture;
    QByteArray stamp; // what the stamp file holds after
    std::optional<bool> offered;
    int failures;
    QByteArray logSays;
};

const ItemsRow itemsRows[] = {
    {"AllArriveStampWritten", Fixture::Answer(Fixture::Ok("GIF89a")), "HL0007", false, 0,
     "Downloading guide <TXT><GIF>\r\nDone!\r\n"},
    {"MissingPictureKeepsTheOffer", Fixture::Missing(), "<missing>", std::nullopt, 1,
     "NOT ALL HELP LINKS ARRIVED: the update stays on offer.\r\n"},
    {"ResetPictureKeepsTheOffer", Fixture::Reset(), "<missing>", std::nullopt, 1,
     "TRANSFER FAILED: /files/koru/guide.gif: Connection reset by peer.\r\n"},
};

class HelpLinksDownloadTest : public ScriptedJobFixture,
                              public ::testing::WithParamInterface<ItemsRow> {};

TEST_P(HelpLinksDownloadTest, FetchesEveryItemThenTheStamp) {
    const ItemsRow& row = GetParam();
    serviceMode = serviceOn; // asked by the check before
    home.Write(FolderPaths::scratchText, "HL0007\r\nmanual\r\nguide\r\n");
    HelpLinksDownload update;
    std::optional<HelpLinksDownload::Outcome> ended;
    update.Start(Tools({Answer(Ok("Manual.")), Answer(Ok("GIF87a")), Answer(Ok("Guide.")),
                        row.guidePicture}),
                 true, [&](const HelpLinksDownload::Outcome& outcome) { ended = outcome; });
    Wait([&] { return ended.has_value(); });

    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->offers.helpLinks, row.offered);
    EXPECT_EQ(ended->failures, row.failures);
    EXPECT_TRUE(log.Text().contains(row.logSays)) << log.Text().constData();
    EXPECT_EQ(home.Read("files/koru/help/manual.txt"), QByteArray("Manual."));
    EXPECT_EQ(home.Read("files/koru/help/guide.txt"), QByteArray("Guide."));
    EXPECT_EQ(home.Read(FolderPaths::helpLinksStamp).trimmed(), row.stamp);
    EXPECT_EQ(Asked(), QByteArrayList({"/files/koru/manual.txt", "/files/koru/manual.gif",
                                       "/files/koru/guide.txt", "/files/koru/guide.gif"}));
}

INSTANTIATE_TEST_SUITE_P(Rows, HelpLinksDownloadTest, ::testing::ValuesIn(itemsRows),
                         [](const ::testing::TestParamInfo<ItemsRow>& row) {
                             return std::string(row.param.name);
                         });

} // namespace
