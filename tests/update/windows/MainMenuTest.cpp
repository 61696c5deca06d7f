// The main window's menu tree: exact captions, separators, initial states, the
// Download submenu's rule, the array's shared handler and the install items.
#include "InstallableList.h"
#include "platform/runtime/MsgBox.h"
#include "support/FormsFixture.h"
#include "update/files/SeedArchive.h"
#include "update/install/RunningVanto.h"
#include "update/install/VantoStart.h"

#include <QDir>
#include <QStandardPaths>
#include <csignal>

namespace {

using MainMenuTest = FormsFixture;

// The tree as the user sees it, "caption|enabled" lines indented by depth.
QByteArrayList Describe(const QList<MenuItem*>& items, const QByteArray& indent = {}) {
    QByteArrayList lines;
    for (MenuItem* item : items) {
        if (!item->Visible())
            continue;
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

// With an installable list held and its archive saved, the install item swaps
// it in and the restore item, captioned with the kept version, swaps back.
TEST_F(MainMenuTest, InstallAndRestoreItemsSwapTheSavedArchive) {
    const QByteArray archive = SampleArchive();
    home.Write("vanto.zip", archive);
    SeedArchive::Remember(home.filePath("vanto.zip"));
    SharedState().releaseList = InstallableList(archive);
    const QByteArray oldIni = home.Read("VANTO.ini");
    const MsgBoxHandler previous = SetMsgBoxHandler([](const MsgBoxRequest&) { return vbYes; });
    Start();
    MainForm& main = forms.KORU2;
    EXPECT_FALSE(main.mnuRestorePrevious.Visible());
    // A separator sets the install items apart from the downloads.
    EXPECT_TRUE(Describe(main.mnuUpdate.Items()).join('\n').contains("Update|off\n-|on\nInstall "));
    EXPECT_TRUE(main.mnuInstallUpdate.Click());
    EXPECT_TRUE(Log().contains("Installed VANTO 02.14 in place of VANTO 02.13")) << Log().data();
    EXPECT_FALSE(Log().contains("Staging: ")) << Log().data(); // the progress line is taken off
    EXPECT_NE(home.Read("VANTO.ini"), oldIni);
    EXPECT_EQ(main.mnuRestorePrevious.Caption(), "Restore Previous VANTO (02.13)");
    // 02.14 again would take the place of the way back.
    EXPECT_FALSE(main.mnuInstallUpdate.Visible());
    EXPECT_TRUE(main.mnuRestorePrevious.Click());
    EXPECT_TRUE(Log().contains("  brings back VANTO.ini\r\nRestored VANTO 02.13 in place of "
                               "VANTO 02.14"))
        << Log().data();
    EXPECT_EQ(home.Read("VANTO.ini"), oldIni);
    EXPECT_EQ(main.mnuRestorePrevious.Caption(), "Restore Newer VANTO (02.14)");
    SetMsgBoxHandler(previous);
}

// A running VANTO (a copy of sleep as the list's program) is asked about:
// Cancel installs nothing; Retry once it has closed installs, and KORU then
// offers to start it again.
TEST_F(MainMenuTest, InstallAsksARunningVantoToCloseAndOffersToStartItAgain) {
    const QByteArray archive = SampleArchive();
    home.Write("vanto.zip", archive);
    SeedArchive::Remember(home.filePath("vanto.zip"));
    SharedState().releaseList = InstallableList(archive);
    SharedState().releaseList->program = "bin/vanto";
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("bin")));
    ASSERT_TRUE(QFile::copy(QStandardPaths::findExecutable(QStringLiteral("sleep")),
                            home.filePath("bin/vanto")));
    ASSERT_EQ(VantoStart::Start(home.path(), "bin/vanto", {QStringLiteral("60")}), "");
    const RunningVanto vanto(home.path(), "bin/vanto");
    MsgBoxResult retry = vbCancel;
    QByteArrayList asked;
    const MsgBoxHandler previous = SetMsgBoxHandler([&](const MsgBoxRequest& box) {
        if (asked.isEmpty() || asked.last() != box.prompt.left(18)) // Retry may come again
            asked << box.prompt.left(18);
        if (!box.asksRetryCancel())
            return box.prompt.startsWith("Install") ? vbYes : vbNo;
        if (retry == vbRetry) // the user closes VANTO
            for (const pid_t pid : vanto.Pids())
                ::kill(pid, SIGKILL);
        return retry;
    });
    Start();
    EXPECT_TRUE(forms.KORU2.mnuInstallUpdate.Click());
    EXPECT_TRUE(Log().contains("INSTALL REFUSED: VANTO is running; close it and try again."));
    retry = vbRetry;
    asked.clear();
    EXPECT_TRUE(forms.KORU2.mnuInstallUpdate.Click());
    EXPECT_TRUE(Log().contains("Installed VANTO 02.14")) << Log().data();
    EXPECT_EQ(asked,
              (QByteArrayList{"VANTO is running. ", "Install VANTO 02.1", "Start VANTO again?"}));
    SetMsgBoxHandler(previous);
}
