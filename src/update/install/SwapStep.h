// The steps of a swap, counted: each rename, flush and write that changes
// what a crash would leave. A program that ships sets no observer; the
// kill-loop tests' own program sets one that ends the process right after
// step N, as a crash there would.
#pragma once

#include <QtGlobal>

namespace SwapStep {

// Told of each step passed, with the count so far.
using Observer = void (*)(qint64 passed);
void SetObserver(Observer observer);

// Counts a step that is done.
void Passed();
// The steps passed in this process.
qint64 Count();

} // namespace SwapStep
