// The quick update window on the screen: caption, size, colours and fonts, and
// the label and button following their logic.
#include "WindowsFixture.h"

#include <QFontInfo>
#include <QLabel>
#include <QPushButton>

namespace {

class QuickWindowTest : public WindowsFixture {
protected:
    QuickWindowTest() { quick().Load(); }
    KORU1& window() { return koru->koru1; }
    QuickForm& quick() { return koru->forms.KORU1; }
};

} // namespace

TEST_F(QuickWindowTest, HasItsCaptionSizeAndColours) {
    EXPECT_EQ(window().windowTitle(), u"VANTO Update"_qs);
    EXPECT_EQ(window().size(), ClientSize(6495, 4110));
    EXPECT_EQ(window().minimumSize(), window().maximumSize());
    EXPECT_EQ(window().palette().color(QPalette::Window), QColor(0xC0C0C0));

    const QLabel& label = *window().Label1();
    EXPECT_EQ(label.geometry(), TwipsToPixels(QRect(0, 0, 6495, 3735)));
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0x00FF00));
    EXPECT_EQ(label.palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(label.font().pointSizeF(), 9.75);
    EXPECT_TRUE(label.text().isEmpty());

    const QPushButton& button = *window().DownloadUpdateCommand1();
    EXPECT_EQ(button.geometry(), TwipsToPixels(QRect(0, 3720, 6495, 375)));
    EXPECT_FALSE(button.isEnabled());
    EXPECT_TRUE(button.text().isEmpty());
    EXPECT_EQ(button.font().pointSizeF(), 12);
}

TEST_F(QuickWindowTest, LabelButtonAndCaptionFollowTheLogic) {
    quick().Label1.SetCaption("VANTO 01.20\r\n<b>not markup</b>");
    quick().DownloadUpdateCommand1.SetCaption("Download Update!");
    quick().DownloadUpdateCommand1.SetEnabled(true);
    quick().SetCaption("New VANTO available!");
    EXPECT_EQ(window().Label1()->text(), u"VANTO 01.20\n<b>not markup</b>"_qs);
    EXPECT_EQ(window().Label1()->textFormat(), Qt::PlainText);
    EXPECT_EQ(window().DownloadUpdateCommand1()->text(), u"Download Update!"_qs);
    EXPECT_TRUE(window().DownloadUpdateCommand1()->isEnabled());
    EXPECT_EQ(window().windowTitle(), u"New VANTO available!"_qs);
}

TEST_F(QuickWindowTest, ClosingTheWindowEndsTheProgram) {
    quick().Show();
    window().close();
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(quick().Loaded());
}
