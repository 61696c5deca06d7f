// The socket service's handles: sockets and lookup tasks draw from one
// counter, so a notification's wParam is never ambiguous and a handle is
// never reused, not even after WSACleanup.
#pragma once

#include <cstdint>

namespace ws {

// A new handle above 0 and below 2^31, or 0 when the counter is exhausted.
std::int32_t NewServiceHandle();

} // namespace ws
