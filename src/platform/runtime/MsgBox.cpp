#include "platform/runtime/MsgBox.h"

namespace {
MsgBoxHandler handler;
}

MsgBoxResult MsgBox(const QByteArray& prompt, int buttons, const QByteArray& title) {
    MsgBoxRequest request{prompt, buttons, title.isEmpty() ? QByteArray(AppTitle) : title};
    if (handler)
        return handler(request);
    if (request.asksRetryCancel())
        return vbCancel;
    return request.asksYesNo() ? vbNo : vbOK;
}

MsgBoxHandler SetMsgBoxHandler(MsgBoxHandler next) {
    MsgBoxHandler previous = std::move(handler);
    handler = std::move(next);
    return previous;
}
