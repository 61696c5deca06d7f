#include "platform/runtime/ShellExecute.h"

namespace {
ShellExecuteHandler handler;
}

void ShellExecute(const void* /*ownerWindow*/, const QByteArray& operation, const QByteArray& file,
                  const QByteArray& parameters, const QByteArray& directory, int showCommand) {
    if (handler)
        handler({operation, file, parameters, directory, showCommand});
}

ShellExecuteHandler SetShellExecuteHandler(ShellExecuteHandler next) {
    ShellExecuteHandler previous = std::move(handler);
    handler = std::move(next);
    return previous;
}
