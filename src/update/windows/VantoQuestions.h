// What both windows ask about VANTO itself around an install: to close a
// running VANTO (Retry looks again, Cancel gives up), and whether to start it
// again once an install that closed it is done.
#pragma once

#include "update/install/InstallCheck.h"

#include <QByteArray>

namespace VantoQuestions {

// The windows' way to meet a running VANTO.
QByteArray AskClosed(const RunningVanto& vanto, const std::function<void(const QByteArray&)>& say);

// Asks whether to start `program` (as the list names it) again and starts
// it; why it did not start, or empty (started, or the answer was No).
QByteArray OfferStart(const QByteArray& program);

} // namespace VantoQuestions
