// Ending the program: the handler runs and the run is marked ended. (The default,
// leaving the application's loops, is not run here: it would end every later test's loop.)
#include "platform/runtime/EndProgram.h"

#include <gtest/gtest.h>

TEST(EndProgramTest, RunsTheHandlerAndMarksTheRunEnded) {
    int calls = 0;
    const EndProgramHandler previous = SetEndProgramHandler([&] { ++calls; });
    ResetProgramEnded();
    EXPECT_FALSE(ProgramEnded());
    EndProgram();
    EXPECT_TRUE(ProgramEnded());
    EXPECT_EQ(calls, 1);
    ResetProgramEnded();
    EXPECT_FALSE(ProgramEnded());
    SetEndProgramHandler(previous);
}
