// The help links window on the screen: size, colours and controls, opened at
// the main window's top-left corner, and the closing rules with the main window.
#include "WindowsFixture.h"

#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

namespace {

class HelpWindowTest : public WindowsFixture {
protected:
    HelpWindowTest() { koru->Start(); }
    KORUHelp1& help() { return koru->koruHelp1; }
    KORU2& mainWindow() { return koru->koru2; }
    void OpenHelp() { koru->koru2.ActionOf(koru->forms.KORU2.mnuHelpLinks)->trigger(); }
};

} // namespace

TEST_F(HelpWindowTest, HasItsCaptionSizeColoursAndControls) {
    EXPECT_EQ(help().windowTitle(), u"KORU Help Links"_qs);
    EXPECT_EQ(help().size(), ClientSize(8295, 4695));
    EXPECT_EQ(help().minimumSize(), help().maximumSize());
    EXPECT_EQ(help().palette().color(QPalette::Window), QColor(0xE0E0E0));
    EXPECT_EQ(help().Frame1()->geometry(), TwipsToPixels(QRect(0, 0, 1935, 2550)));
    EXPECT_EQ(help().Command1()->geometry(), TwipsToPixels(QRect(0, 0, 1920, 1200)));
    EXPECT_EQ(help().Command1()->parentWidget(), help().Frame1());
    EXPECT_EQ(help().VScroll1()->geometry(), TwipsToPixels(QRect(1920, 0, 255, 4695)));
    EXPECT_EQ(help().VScroll1()->maximum(), 0);
    EXPECT_EQ(help().Text1()->geometry(), TwipsToPixels(QRect(2160, 0, 6135, 4695)));
    EXPECT_EQ(help().Text1()->palette().color(QPalette::Text), QColor(0x00FF00));
    EXPECT_EQ(help().Text1()->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(help().Text1()->font().pointSizeF(), 12);
}

TEST_F(HelpWindowTest, HelpLinksOpensItAtTheMainWindowsTopLeftCorner) {
    mainWindow().move(120, 90);
    OpenHelp();
    EXPECT_TRUE(help().isVisible());
    EXPECT_EQ(help().frameGeometry().topLeft(), mainWindow().frameGeometry().topLeft());
    EXPECT_TRUE(mainWindow().isVisible());
}

TEST_F(HelpWindowTest, ClosingMainWhileHelpIsOpenKeepsTheProgramUntilHelpCloses) {
    OpenHelp();
    mainWindow().close();
    EXPECT_EQ(ends, 0);
    EXPECT_FALSE(mainWindow().isVisible());
    EXPECT_TRUE(help().isVisible());
    help().close();
    EXPECT_EQ(ends, 1);
}

TEST_F(HelpWindowTest, ClosingHelpWhileMainIsOpenOnlyClosesHelp) {
    OpenHelp();
    help().close();
    EXPECT_EQ(ends, 0);
    EXPECT_TRUE(mainWindow().isVisible());
    mainWindow().close();
    EXPECT_EQ(ends, 1);
}
