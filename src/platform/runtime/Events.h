// DoEvents and waiting without spinning: the event loop of the one UI thread.
#pragma once

#include <functional>

// Delivers every pending event (socket notifications, timer ticks, input), then returns.
void DoEvents();

// Blocks in the event loop until at least one event has been delivered.
void WaitForEvents();

// Delivers events until `done` answers true; sleeps in the event loop between events.
void WaitUntil(const std::function<bool()>& done);
