#include "update/install/SwapStep.h"

namespace SwapStep {

namespace {

qint64 passed = 0;
Observer observer = nullptr;

} // namespace

void SetObserver(Observer told) {
    observer = told;
}

void Passed() {
    ++passed;
    if (observer != nullptr)
        observer(passed);
}

qint64 Count() {
    return passed;
}

} // namespace SwapStep
