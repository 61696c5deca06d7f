// Shared set-up of the socket service benchmarks.
#pragma once

#include "platform/winsock/WinSock.h"

namespace bench {

// A TCP socket listening on a free loopback port; its address in `address`.
inline ws::SOCKET LoopbackListener(int backlog, ws::sockaddr_in* address) {
    const ws::SOCKET listener = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
    *address = ws::sockaddr_in{};
    address->sin_family = ws::AF_INET;
    address->sin_addr = ws::inet_addr("127.0.0.1");
    ws::bind(listener, address, sizeof *address);
    ws::listen(listener, backlog);
    int len = sizeof *address;
    ws::getsockname(listener, address, &len);
    return listener;
}

} // namespace bench
