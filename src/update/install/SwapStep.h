// The steps of a swap, counted: each rename, flush and write that changes
// what a crash would leave. The kill-loop tests end the process right after
// step N (KORU_SWAP_STOP_AFTER=N), as a crash there would.
#pragma once

#include <QtGlobal>

namespace SwapStep {

// The status of a process the seam ended.
inline constexpr int stoppedStatus = 86;

// Counts a step that is done; ends the process when it is the one asked for.
void Passed();
// The steps passed in this process.
qint64 Count();

} // namespace SwapStep
