// An error that reaches the windowed program's event loop is shown as the
// runtime shows it and ends the program.
#include "platform/runtime/EndProgram.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/RuntimeError.h"
#include "ui/RuntimeApplication.h"

#include <QByteArrayList>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

class UncaughtErrorTest : public ::testing::Test {
protected:
    UncaughtErrorTest() {
        ResetProgramEnded();
        previousMsgBox_ = SetMsgBoxHandler([this](const MsgBoxRequest& request) {
            shown.append(request.title + "|" + request.prompt + "|" +
                         QByteArray::number(request.buttons));
            return vbOK;
        });
        previousEnd_ = SetEndProgramHandler([this] { shown.append("end"); });
    }
    ~UncaughtErrorTest() override {
        SetMsgBoxHandler(std::move(previousMsgBox_));
        SetEndProgramHandler(std::move(previousEnd_));
        ResetProgramEnded();
    }

    QByteArrayList shown;

private:
    MsgBoxHandler previousMsgBox_;
    EndProgramHandler previousEnd_;
};

TEST_F(UncaughtErrorTest, RuntimeErrorShowsItsNumberAndDescriptionThenEnds) {
    ReportUncaughtError(RuntimeError(76, "Path not found", "files/temp/ver.tmp"));
    EXPECT_EQ(shown, (QByteArrayList{"KORU|Run-time error '76':\n\nPath not found|" +
                                         QByteArray::number(vbOKOnly | vbCritical),
                                     "end"}));
    EXPECT_TRUE(ProgramEnded());
}

TEST_F(UncaughtErrorTest, OtherErrorsAreShownToo) {
    ReportUncaughtError(std::runtime_error("boom"));
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0].contains("Unexpected error:\n\nboom"));
    EXPECT_EQ(shown[1], QByteArray("end"));
}

} // namespace
