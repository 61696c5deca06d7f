// Loopback ports for the tests' servers and for connections that must be refused.
#pragma once

#include <cstdint>

// A loopback port that nobody listened on a moment ago. Another program may
// still take it, so a server started on it retries with another one.
std::uint16_t UnusedLoopbackPort();

// True when something accepts connections on the loopback port.
bool LoopbackAccepts(std::uint16_t port);
