// What a call raises, for tests that look at the error itself. Header-only:
// the runtime's tests link no test support library.
#pragma once

#include "platform/runtime/RuntimeError.h"

#include <functional>
#include <optional>

// The RuntimeError `call` raises; nothing when it returns.
inline std::optional<RuntimeError> Raised(const std::function<void()>& call) {
    try {
        call();
    } catch (const RuntimeError& e) {
        return e;
    }
    return std::nullopt;
}

// The number of the error `call` raises; 0 when it returns.
inline int ErrorNumber(const std::function<void()>& call) {
    const std::optional<RuntimeError> error = Raised(call);
    return error ? error->Number() : 0;
}
