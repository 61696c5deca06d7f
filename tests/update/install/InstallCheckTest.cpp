// The install path asks nothing itself: a restore's question goes to the
// callback the front end passes, never to a message box.
#include "update/install/InstallCheck.h"

#include "support/DialogAnswers.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class TextLog : public JobLog {
public:
    const QByteArray& Text() const override { return text_; }
    void SetText(const QByteArray& text) override { text_ = text; }
    void Append(const QByteArray& text) override { text_ += text; }

private:
    QByteArray text_;
};

TEST(InstallCheckTest, RestoreAsksThroughItsCallbackAlone) {
    const DialogAnswers boxes;
    QTemporaryDir vanto;
    TextLog log;
    QByteArrayList asked;
    const InstallCheck::Ending ending = InstallCheck::Restore(
        vanto.path(), {}, log, [](const RunningVanto&, const auto&) { return QByteArray(); },
        [&asked](const QByteArray& question, const QByteArray& title) {
            asked << title + '|' + question;
            return false;
        });
    EXPECT_EQ(asked, QByteArrayList{"KORU|Swap the version of VANTO that KORU kept back into "
                                    "VANTO's folder?"});
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_EQ(ending.why, "Nothing was restored: the question was answered No.");
    EXPECT_EQ(log.Text(), "RESTORE REFUSED: " + ending.why + "\r\n" + QByteArray(38, '-') + "\r\n");
}

} // namespace
