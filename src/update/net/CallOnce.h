// An end handler told once: it is taken out before it is called, so that it
// may start the next piece of work, which brings a handler of its own.
#pragma once

#include <utility>

template <typename Handler, typename... Arguments>
void CallOnce(Handler& handler, Arguments&&... arguments) {
    const Handler taken = std::move(handler);
    handler = nullptr;
    if (taken)
        taken(std::forward<Arguments>(arguments)...);
}
