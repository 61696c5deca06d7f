#include "update/install/SwapStep.h"

#include <cstdlib>
#include <unistd.h>

namespace SwapStep {

namespace {

qint64 passed = 0;

qint64 StopAfter() {
    const char* text = std::getenv("KORU_SWAP_STOP_AFTER");
    return text == nullptr ? -1 : std::atoll(text);
}

} // namespace

void Passed() {
    static const qint64 stopAfter = StopAfter();
    if (++passed == stopAfter)
        ::_exit(stoppedStatus);
}

qint64 Count() {
    return passed;
}

} // namespace SwapStep
