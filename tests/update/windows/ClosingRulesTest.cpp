// Closing rules: the program runs while the main window or the help window is
// visible, and the help window opens at the main window's top-left corner.
#include "support/FormsFixture.h"

namespace {

class ClosingRulesTest : public FormsFixture {
protected:
    ClosingRulesTest() {
        Start();
        events.clear();
    }
    HelpForm& help() { return forms.KORUHelp1; }
    MainForm& main() { return forms.KORU2; }
};

} // namespace

TEST_F(ClosingRulesTest, HelpLinksOpensTheHelpWindowAtTheMainWindowsCorner) {
    main().Move(2400, 1800);
    ASSERT_TRUE(main().mnuHelpLinks.Click());
    EXPECT_TRUE(help().Visible());
    EXPECT_EQ(help().Caption(), QByteArray("KORU Help Links"));
    EXPECT_EQ(help().Left(), 2400);
    EXPECT_EQ(help().Top(), 1800);
    EXPECT_EQ(events, (QByteArrayList{"KORUHelp1 show"}));
}

TEST_F(ClosingRulesTest, MainClosedWhileHelpIsVisibleKeepsRunningUntilHelpCloses) {
    main().mnuHelpLinks.Click();
    main().Unload();
    EXPECT_FALSE(ProgramEnded());
    help().Unload();
    EXPECT_TRUE(ProgramEnded());
    EXPECT_EQ(events, (QByteArrayList{"KORUHelp1 show", "KORU2 hide", "end", "KORUHelp1 hide"}));
}

TEST_F(ClosingRulesTest, HelpClosedWhileMainIsVisibleOnlyClosesHelp) {
    main().mnuHelpLinks.Click();
    help().Unload();
    EXPECT_FALSE(ProgramEnded());
    EXPECT_TRUE(main().Visible());
    main().mnuHelpLinks.Click(); // opens again
    EXPECT_TRUE(help().Visible());
}

TEST_F(ClosingRulesTest, MainClosedWithoutHelpEndsTheProgram) {
    main().Unload();
    EXPECT_EQ(events, (QByteArrayList{"end", "KORU2 hide"}));
}

TEST_F(ClosingRulesTest, HelpClosedWhileMainIsHiddenEnds) {
    main().mnuHelpLinks.Click();
    main().Hide();
    help().Unload();
    EXPECT_TRUE(ProgramEnded());
}
