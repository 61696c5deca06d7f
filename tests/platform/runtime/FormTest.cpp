// Forms: load and unload run their events once, a show loads first, a modal
// show waits for the window to go, and the view follows the Form.
#include "platform/runtime/Form.h"

#include "platform/runtime/EndProgram.h"

#include <QByteArrayList>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class RecordingForm : public Form {
public:
    explicit RecordingForm(QByteArrayList& events) : Form("Caption"), events_(events) {}
    std::function<void()> onLoad;

protected:
    void InitializeControls() override { events_.append(QByteArray("initialize")); }
    void ReleaseControls() override { events_.append(QByteArray("release")); }
    void Form_Load() override {
        events_.append(QByteArray("load"));
        if (onLoad)
            onLoad();
    }
    void Form_Unload() override { events_.append(QByteArray("unload")); }

private:
    QByteArrayList& events_;
};

class RecordingView : public FormView {
public:
    RecordingView(Form& form, QByteArrayList& events) : form_(form), events_(events) {}
    std::function<void()> whileModal;

    void ShowForm(bool modal) override {
        events_.append(modal ? "view modal" : "view show");
        if (modal && whileModal)
            whileModal();
    }
    void HideForm() override { events_.append(QByteArray("view hide")); }
    void RefreshCaption() override { events_.append("caption " + form_.Caption()); }
    void MoveForm(int left, int top) override { bounds_.moveTo(left, top); }
    QRect FormBounds() const override { return bounds_; }

private:
    Form& form_;
    QByteArrayList& events_;
    QRect bounds_{0, 0, 8895, 5500};
};

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProgramEnded();
        form.SetView(&view);
    }
    void TearDown() override { ResetProgramEnded(); }

    QByteArrayList events;
    RecordingForm form{events};
    RecordingView view{form, events};
};

} // namespace

TEST_F(FormTest, ShowLoadsOnceThenShows) {
    form.Show();
    form.Show();
    EXPECT_TRUE(form.Loaded());
    EXPECT_TRUE(form.Visible());
    EXPECT_EQ(events,
              (QByteArrayList{"caption Caption", "initialize", "load", "view show", "view show"}));
}

TEST_F(FormTest, UnloadRunsItsEventThenHidesAndReloadStartsAfresh) {
    form.Show();
    form.SetCaption("Changed");
    events.clear();
    form.Unload();
    form.Unload();
    EXPECT_FALSE(form.Loaded());
    EXPECT_FALSE(form.Visible());
    form.Load();
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(form.Caption(), QByteArray("Caption"));
    EXPECT_EQ(events, (QByteArrayList{"unload", "release", "view hide", "caption Caption",
                                      "initialize", "load"}));
}

TEST_F(FormTest, ModalShowReturnsAfterTheWindowIsGone) {
    view.whileModal = [this] {
        events.append(QByteArray("user closes"));
        form.Unload();
    };
    form.Show(vbModal);
    events.append(QByteArray("returned"));
    EXPECT_EQ(events.mid(3), (QByteArrayList{"view modal", "user closes", "unload", "release",
                                             "view hide", "returned"}));
}

TEST_F(FormTest, ShowStopsWhenTheLoadEndsTheProgramOrUnloadsTheWindow) {
    form.onLoad = [] { EndProgram(); };
    SetEndProgramHandler([] {});
    form.Show();
    EXPECT_FALSE(form.Visible());
    SetEndProgramHandler(nullptr);

    RecordingForm selfUnloading(events);
    selfUnloading.onLoad = [&] { selfUnloading.Unload(); };
    selfUnloading.Show();
    EXPECT_FALSE(selfUnloading.Visible());
    EXPECT_FALSE(selfUnloading.Loaded());
}

TEST_F(FormTest, HeadlessModalShowWaitsUntilHidden) {
    form.SetView(nullptr);
    QTimer::singleShot(0, [this] { form.Hide(); });
    form.Show(vbModal);
    EXPECT_FALSE(form.Visible());
}

TEST_F(FormTest, PositionIsReadFromTheViewAndMovedThroughIt) {
    form.Move(1500, 300);
    EXPECT_EQ(form.Left(), 1500);
    EXPECT_EQ(form.Top(), 300);
    EXPECT_EQ(form.Height(), 5500);
    form.SetView(nullptr);
    form.Move(45, 60);
    EXPECT_EQ(form.Left(), 45);
    EXPECT_EQ(form.Height(), 0);
}
