// The main window's menu tree: exact captions, separators, initial states, the
// Download submenu's rule and the array's shared handler.
#include "support/FormsFixture.h"

namespace {

using MainMenuTest = FormsFixture;

// The tree as "caption|enabled" lines, indented by depth.
QByteArrayList Describe(const QList<MenuItem*>& items, const QByteArray& indent = {}) {
    QByteArrayList lines;
    for (MenuItem* item : items) {
        lines.append(indent + item->Caption() + '|' + (item->Enabled() ? "on" : "off"));
        lines += Describe(item->Items(), indent + "  ");
    }
    return lines;
}

} // namespace

TEST_F(MainMenuTest, TreeCaptionsAndStatesAtLoad) {
    Start();
    EXPECT_EQ(Describe(forms.KORU2.MenuBar()), (QByteArrayList{
                                                   "UPDATES     |on",
                                                   "  Check for available updates|on",
                                                   "  -|on",
                                                   "  Download|on",
                                                   "    All Available Updates|off",
                                                   "    -|on",
                                                   "    VANTO Update|off",
                                                   "    Help Links Update|off",
                                                   "SPECIAL DOWNLOADS     |on",
                                                   "  VANTO Plug-ins|on",
                                                   "  Public Patches|on",
                                                   "HELP     |on",
                                                   "  Help Links|on",
                                                   "  Search For Answers|on",
                                               }));
    EXPECT_EQ(forms.KORU2.mnuAvailableDownload.UBound(), 1);
    EXPECT_EQ(forms.KORU2.mnuAvailableDownload(1).Name(), QByteArray("mnuAvailableDownload(1)"));
}

TEST_F(MainMenuTest, AReloadPutsTheStatesAtLoadBack) {
    Start();
    forms.KORU2.mnuUpdate.SetEnabled(false);
    forms.KORU2.mnuAvailableDownload(0).SetEnabled(true);
    forms.KORU2.Tag = "1";
    forms.KORU2.Unload();
    forms.KORU2.Load();
    EXPECT_TRUE(forms.KORU2.mnuUpdate.Enabled());
    EXPECT_FALSE(forms.KORU2.mnuAvailableDownload(0).Enabled());
    EXPECT_EQ(forms.KORU2.Tag, QByteArray());
}

namespace {

struct DownloadCase {
    bool vantoUpdate;
    bool helpLinksUpdate;
    bool allBefore;
    bool allAfter;
};

class DownloadMenuTest : public FormsFixture, public ::testing::WithParamInterface<DownloadCase> {};

} // namespace

TEST_P(DownloadMenuTest, AllAvailableIsOfferedExactlyWhenEitherSingleDownloadIs) {
    const DownloadCase& c = GetParam();
    Start();
    MainForm& main = forms.KORU2;
    main.mnuAvailableDownload(0).SetEnabled(c.vantoUpdate);
    main.mnuAvailableDownload(1).SetEnabled(c.helpLinksUpdate);
    main.mnuAllAvailableUpdates.SetEnabled(c.allBefore);
    EXPECT_TRUE(main.mnuDownload.Click()); // the submenu opens
    EXPECT_EQ(main.mnuAllAvailableUpdates.Enabled(), c.allAfter);
}

INSTANTIATE_TEST_SUITE_P(States, DownloadMenuTest,
                         ::testing::Values(DownloadCase{false, false, false, false},
                                           DownloadCase{false, false, true, false},
                                           DownloadCase{true, false, false, true},
                                           DownloadCase{false, true, false, true},
                                           DownloadCase{true, true, false, true}));
