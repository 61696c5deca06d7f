// Ending the whole program, as the runtime's End does: every window closes and
// the process leaves its event loop. Code after the call keeps running in C++,
// so callers return at once and long waits also stop on ProgramEnded().
#pragma once

#include <functional>

using EndProgramHandler = std::function<void()>;

// Marks the program as ended and runs the handler. Without one, the running
// event loops of the application are told to exit.
void EndProgram();

// True once EndProgram has been called in this run.
bool ProgramEnded();

// Installs the handler (the windowed program closes its windows) and returns
// the previous one.
EndProgramHandler SetEndProgramHandler(EndProgramHandler handler);

// Starts a new run: ProgramEnded() answers false again (tests).
void ResetProgramEnded();
