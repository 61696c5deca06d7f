#include "update/windows/VantoQuestions.h"

#include "platform/runtime/App.h"
#include "platform/runtime/MsgBox.h"
#include "update/install/RunningVanto.h"
#include "update/install/VantoStart.h"

namespace VantoQuestions {

QByteArray AskClosed(const RunningVanto& vanto,
                     const std::function<void(const QByteArray&)>& /*say*/) {
    // A new VANTO may start while the question waits, so each answer looks again.
    while (!vanto.Pids().isEmpty()) {
        if (MsgBox("VANTO is running. Close it, then choose Retry to go on.", vbRetryCancel,
                   "KORU") != vbRetry)
            return "VANTO is running; close it and try again.";
    }
    return {};
}

QByteArray OfferStart(const QByteArray& program) {
    if (MsgBox("Start VANTO again?", vbYesNo, "KORU") != vbYes)
        return {};
    return VantoStart::Start(App::Path(), program);
}

} // namespace VantoQuestions
