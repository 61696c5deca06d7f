// The help links window on the screen: size, colours and controls, opened at
// the main window's top-left corner, the closing rules with the main window,
// and the column of links with its pictures, scrolling, mouse-over and clicks.
#include "WindowsFixture.h"
#include "ui/ShellOpen.h"

#include <QFile>
#include <QFrame>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

namespace {

class HelpWindowTest : public WindowsFixture {
protected:
    HelpWindowTest() {
        koru->Start();
        previousShell_ = SetShellExecuteHandler(
            [this](const ShellExecuteRequest& request) { opened.append(request.file); });
    }
    ~HelpWindowTest() override { SetShellExecuteHandler(std::move(previousShell_)); }
    KORUHelp1& help() { return koru->koruHelp1; }
    KORU2& mainWindow() { return koru->koru2; }
    void OpenHelp() { koru->koru2.ActionOf(koru->forms.KORU2.mnuHelpLinks)->trigger(); }

    // The sample server's help links, as the update saves them.
    void PutSampleLinks() {
        for (const char* name :
             {"faq.gif", "faq.txt", "forum.gif", "forum.txt", "manual.gif", "manual.txt"}) {
            QFile sample(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../sample/server/files/koru/") +
                         QString::fromLatin1(name));
            ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
            home.Write(("files/koru/help/" + QByteArray(name)).constData(), sample.readAll());
        }
    }
    void MoveMouseOver(QPushButton* button) {
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), button->mapToGlobal(QPointF(5, 5)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(button, &move);
    }

    QByteArrayList opened;

private:
    ShellExecuteHandler previousShell_;
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

TEST_F(HelpWindowTest, SampleLinksStandAsPictureButtonsInTheFrame) {
    PutSampleLinks();
    OpenHelp();
    ASSERT_EQ(help().Command1Count(), 3);
    for (int i = 0; i < 3; ++i) {
        QPushButton* button = help().Command1(i);
        EXPECT_EQ(button->parentWidget(), help().Frame1());
        EXPECT_EQ(button->geometry(), TwipsToPixels(QRect(0, 1200 * i, 1920, 1200)));
        EXPECT_TRUE(button->isVisible());
        EXPECT_FALSE(button->icon().isNull());
    }
    EXPECT_EQ(help().Frame1()->geometry(), TwipsToPixels(QRect(0, 0, 1935, 3810)));
    EXPECT_EQ(help().VScroll1()->maximum(), 0);
}

TEST_F(HelpWindowTest, MouseOverShowsTheLinkAndAClickOpensIt) {
    PutSampleLinks();
    OpenHelp();
    QPushButton* forum = help().Command1(1);
    QTest::keyClick(forum, Qt::Key_Space); // before any mouse-over: no target yet
    MoveMouseOver(forum);
    EXPECT_EQ(forum->toolTip(), u"https://vanto.example/forum"_qs);
    EXPECT_TRUE(help().Text1()->toPlainText().startsWith(u"The VANTO community forum"_qs));
    QTest::mouseClick(forum, Qt::LeftButton);
    EXPECT_EQ(opened, (QByteArrayList{{}, "https://vanto.example/forum"}));
}

TEST_F(HelpWindowTest, TenLinksScrollByMovingTheFrame) {
    for (int i = 0; i < 10; ++i) {
        const QByteArray base = "files/koru/help/link" + QByteArray::number(i);
        home.Write((base + ".gif").constData(), "not a picture");
        home.Write((base + ".txt").constData(), "https://vanto.example/\r\n");
    }
    OpenHelp();
    EXPECT_EQ(help().Command1Count(), 10);
    // A file that is no picture leaves its button plain but usable.
    EXPECT_TRUE(help().Command1(9)->icon().isNull());
    EXPECT_TRUE(help().Command1(9)->isEnabled());
    // The outer height as the window knew it at load: before its first show
    // no desktop has framed it yet, so it may be the client height alone.
    const int max = help().VScroll1()->maximum();
    EXPECT_GE(max, 12700 - PixelsToTwips(help().frameGeometry().height()));
    EXPECT_LE(max, 12700 - 4695);
    help().VScroll1()->setValue(max);
    EXPECT_EQ(help().Frame1()->geometry(), TwipsToPixels(QRect(0, -max, 1935, 12700)));
    EXPECT_EQ(help().VScroll1()->geometry(), TwipsToPixels(QRect(1920, 0, 255, 4695)));
}

TEST_F(HelpWindowTest, ReopeningShowsTheFolderAsItIsThen) {
    OpenHelp();
    EXPECT_EQ(help().Command1Count(), 1);
    EXPECT_FALSE(help().Command1()->isEnabled());
    help().close();
    PutSampleLinks();
    OpenHelp();
    EXPECT_EQ(help().Command1Count(), 3);
    EXPECT_TRUE(help().Command1()->isEnabled());
}

TEST(ShellOpenTest, WebAndMailAddressesOnly) {
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("manual.pdf")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray directory = QFile::encodeName(folder.path());
    EXPECT_EQ(ShellOpenUrl({"Open", "https://vanto.example/faq", {}, {}, SW_SHOWMINIMIZED}),
              QUrl(u"https://vanto.example/faq"_qs));
    // Even an existing file next to it is not handed to the desktop.
    EXPECT_TRUE(ShellOpenUrl({"Open", "manual.pdf", {}, directory, SW_SHOWMINIMIZED}).isEmpty());
    EXPECT_FALSE(ShellOpenUrl({"Open", {}, {}, {}, SW_SHOWMINIMIZED}).isValid());
}
