// The windowed start-up: the command line decides which window the user sees.
#include "WindowsFixture.h"

#include <QTimer>

namespace {

// Counts the times a widget is shown.
class ShowCounter : public QObject {
public:
    int shows = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            ++shows;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

TEST_F(WindowsFixture, QuickModeShowsOnlyTheQuickWindowAndItsCloseEndsTheProgram) {
    SetCommand({u"/UPDATE"_qs});
    ShowCounter mainShows;
    koru->koru2.installEventFilter(&mainShows);
    bool quickWasShown = false;
    QTimer::singleShot(0, [this, &quickWasShown] {
        quickWasShown = koru->koru1.isVisible();
        koru->koru1.close(); // the user closes the quick window
    });
    koru->Start(); // returns once the modal quick window has gone
    EXPECT_TRUE(quickWasShown);
    EXPECT_EQ(mainShows.shows, 0);
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(ProgramEnded());
}

TEST_F(WindowsFixture, WithoutTheWordTheMainWindowShows) {
    SetCommand({u"--verbose"_qs});
    koru->Start();
    EXPECT_TRUE(koru->koru2.isVisible());
    EXPECT_FALSE(koru->koru1.isVisible());
    EXPECT_FALSE(ProgramEnded());
}
