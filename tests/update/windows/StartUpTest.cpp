// Start-up: the mode the command line picks, which window the user gets, and
// the main window's state after its load.
#include "support/FormsFixture.h"
#include "update/net/UpdateServer.h"

#include <QDir>
#include <QTemporaryDir>

namespace {

struct ModeCase {
    const char* commandLine;
    bool quick;
};

class ModeChoiceTest : public FormsFixture, public ::testing::WithParamInterface<ModeCase> {};

} // namespace

TEST_P(ModeChoiceTest, TheWordUpdateAnywhereInAnyCaseOpensOnlyTheQuickWindow) {
    const ModeCase& mode = GetParam();
    Start(QString::fromLatin1(mode.commandLine).split(u' ', Qt::SkipEmptyParts));
    if (mode.quick) {
        // The main window is hidden before the quick window shows and is never
        // shown; closing the quick window ends the program.
        EXPECT_EQ(events, (QByteArrayList{"KORU2 hide", "KORU1 modal", "end", "KORU1 hide"}));
        EXPECT_FALSE(forms.KORU2.Visible());
    } else {
        EXPECT_EQ(events, (QByteArrayList{"KORU2 show"}));
        EXPECT_FALSE(forms.KORU1.Loaded());
    }
    EXPECT_TRUE(forms.KORU2.Loaded());
}

INSTANTIATE_TEST_SUITE_P(CommandLines, ModeChoiceTest,
                         ::testing::Values(ModeCase{"", false}, ModeCase{"update", true},
                                           ModeCase{"/UPDATE", true}, ModeCase{"Update", true},
                                           ModeCase{"autoupdater", true},
                                           ModeCase{"-x --Updates now", true},
                                           ModeCase{"upgrade", false}, ModeCase{"up date", false}));

TEST_F(FormsFixture, WhatTheStartSettledFollowsTheWelcome) {
    forms.KORU2.startLines = {"An interrupted install of VANTO 02.14 was undone."};
    Start();
    EXPECT_EQ(Log(), "Welcome to KORU.\r\n" + separator +
                         "An interrupted install of VANTO 02.14 was undone.\r\n" + separator);
}

TEST_F(FormsFixture, NormalStartShowsOnlyTheWelcomeLineAndSeparator) {
    Start();
    EXPECT_EQ(Log(), "Welcome to KORU.\r\n" + separator);
    EXPECT_EQ(Log(), QByteArray("Welcome to KORU.\r\n--------------------------------------\r\n"));
    EXPECT_EQ(forms.KORU2.SystemMessagesText1.SelStart(), Log().size());
    EXPECT_EQ(forms.KORU2.Caption(), QByteArray("KORU"));
    EXPECT_EQ(forms.KORU2.Tag, QByteArray());
    EXPECT_EQ(forms.KORU2.Timer1.Interval(), 1000);
    EXPECT_FALSE(forms.KORU2.Timer1.Enabled());
    EXPECT_EQ(SharedState().serverHost, UpdateServerHost());
    EXPECT_FALSE(SharedState().serverHost.isEmpty());
    EXPECT_EQ(SharedState().serviceMode, serviceNotChecked);
}

TEST_F(FormsFixture, TheLoadTouchesNoFile) {
    QTemporaryDir emptyHome;
    App::SetPath(emptyHome.path());
    Start();
    App::SetPath({});
    EXPECT_TRUE(
        QDir(emptyHome.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

TEST_F(FormsFixture, QuickWindowStartsWithEmptyLabelDisabledButtonAndRunningTimer) {
    forms.KORU1.Load();
    EXPECT_EQ(forms.KORU1.Caption(), QByteArray("VANTO Update"));
    EXPECT_EQ(forms.KORU1.Label1.Caption(), QByteArray());
    EXPECT_EQ(forms.KORU1.DownloadUpdateCommand1.Caption(), QByteArray());
    EXPECT_FALSE(forms.KORU1.DownloadUpdateCommand1.Enabled());
    EXPECT_EQ(forms.KORU1.Timer1.Interval(), 500);
    EXPECT_TRUE(forms.KORU1.Timer1.Enabled());
    forms.KORU1.Unload();
    EXPECT_FALSE(forms.KORU1.Timer1.Enabled());
}

TEST(UpdateServerHostTest, KoruServerNamesALocalServer) {
    qputenv("KORU_SERVER", "127.0.0.1");
    EXPECT_EQ(UpdateServerHost(), QByteArray("127.0.0.1"));
    qunsetenv("KORU_SERVER");
    EXPECT_NE(UpdateServerHost(), QByteArray("127.0.0.1"));
}
