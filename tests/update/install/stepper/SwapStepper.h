// What the kill-loop tests and their stepper program share.
#pragma once

// The status of a stepper the stop point ended.
inline constexpr int stoppedStatus = 86;
// The step after which the stepper ends, as a crash there would.
inline constexpr char stopAfterVariable[] = "KORU_SWAP_STOP_AFTER";
