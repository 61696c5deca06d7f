// Loopback ports for the tests' servers and for connections that must be refused.
#pragma once

#include <cstdint>

// A loopback port that nobody listened on a moment ago. Another program may
// still take it, so a server started on it retries with another one.
std::uint16_t UnusedLoopbackPort();
// A loopback port that refuses every connection while this process runs: it
// stays bound without listening, so no other test can take it meanwhile.
std::uint16_t RefusingLoopbackPort();

// True when something accepts connections on the loopback port.
bool LoopbackAccepts(std::uint16_t port);

// A socket listening on a free loopback port, and the port; throws
// std::runtime_error when there is none.
int ListenOnLoopback(std::uint16_t& port, int backlog);
// Connects a blocking socket to the loopback port; -1 when refused.
int ConnectToLoopback(std::uint16_t port);
