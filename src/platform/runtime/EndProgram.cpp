#include "platform/runtime/EndProgram.h"

#include <QCoreApplication>

namespace {
EndProgramHandler handler;
bool ended = false;
} // namespace

void EndProgram() {
    ended = true;
    if (handler)
        handler();
    else if (QCoreApplication::instance() != nullptr)
        QCoreApplication::exit(0);
}

bool ProgramEnded() {
    return ended;
}

EndProgramHandler SetEndProgramHandler(EndProgramHandler next) {
    EndProgramHandler previous = std::move(handler);
    handler = std::move(next);
    return previous;
}

void ResetProgramEnded() {
    ended = false;
}
