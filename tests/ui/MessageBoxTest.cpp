// The windowed message boxes: title, text, buttons and icon as asked, and the
// button the user presses as the answer.
#include "ui/ShowMessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct Seen {
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers the next message box by pressing `press`, noting what it showed.
void AnswerNextBox(Seen& seen, QMessageBox::StandardButton press) {
    QTimer::singleShot(0, [&seen, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen = {box->windowTitle(), box->text(), box->standardButtons(), box->icon()};
        box->button(press)->click();
    });
}

} // namespace

TEST(MessageBoxTest, YesNoQuestionAnswersTheButtonPressed) {
    Seen seen;
    AnswerNextBox(seen, QMessageBox::Yes);
    EXPECT_EQ(ShowMessageBox({"Save VANTO's archive now?", vbYesNo, "KORU"}), vbYes);
    EXPECT_EQ(seen.title, QStringLiteral("KORU"));
    EXPECT_EQ(seen.text, QStringLiteral("Save VANTO's archive now?"));
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);

    AnswerNextBox(seen, QMessageBox::No);
    EXPECT_EQ(ShowMessageBox({"Again?", vbYesNo, "KORU"}), vbNo);
}

TEST(MessageBoxTest, CriticalOkBoxShowsTheIconAndAnswersOk) {
    Seen seen;
    AnswerNextBox(seen, QMessageBox::Ok);
    EXPECT_EQ(ShowMessageBox({"No valid VANTO.ini detected in this folder.", vbOKOnly | vbCritical,
                              "Unable to proceed."}),
              vbOK);
    EXPECT_EQ(seen.title, QStringLiteral("Unable to proceed."));
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
}
