#include "platform/runtime/FileDialog.h"

namespace {
FileDialogHandler handler;
}

FileDialogResult ShowFileDialog(const FileDialogRequest& request) {
    if (handler)
        return handler(request);
    return {};
}

FileDialogHandler SetFileDialogHandler(FileDialogHandler next) {
    FileDialogHandler previous = std::move(handler);
    handler = std::move(next);
    return previous;
}
