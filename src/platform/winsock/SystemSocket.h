// The Linux side of the socket calls: address conversion, waiting in
// blocking mode, argument checks shared by the call sources.
#pragma once

// First: the service's names, before the system's macros exist.
#include "platform/winsock/WinSockNumbers.h"

#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace ws::sys {

inline constexpr int AddressSize = static_cast<int>(sizeof(sockaddr_in));

inline ::sockaddr_in ToLinux(const sockaddr_in& a) {
    ::sockaddr_in out{};
    out.sin_family = AF_INET;
    out.sin_port = a.sin_port;
    out.sin_addr.s_addr = a.sin_addr;
    return out;
}

inline void FromLinux(const ::sockaddr_in& a, sockaddr_in* out, int* outlen) {
    *out = sockaddr_in{};
    out->sin_family = number::AfInet;
    out->sin_port = a.sin_port;
    out->sin_addr = a.sin_addr.s_addr;
    *outlen = AddressSize;
}

inline const ::sockaddr* AsAddress(const ::sockaddr_in* a) {
    return reinterpret_cast<const ::sockaddr*>(a);
}

inline ::sockaddr* AsAddress(::sockaddr_in* a) {
    return reinterpret_cast<::sockaddr*>(a);
}

// Blocking mode: waits for the descriptor (no limit when timeoutMs < 0).
inline bool WaitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int n;
    do
        n = ::poll(&p, 1, timeoutMs);
    while (n < 0 && errno == EINTR);
    return n > 0;
}

inline bool Transient(int errnum) {
    return errnum == EAGAIN || errnum == EWOULDBLOCK || errnum == EINTR;
}

// 0 when the address is an IPv4 socket address, else the service's code.
inline int AddressError(const sockaddr_in* name, int namelen) {
    if (!name || namelen < AddressSize)
        return WSAEFAULT;
    return name->sin_family == number::AfInet ? 0 : WSAEAFNOSUPPORT;
}

} // namespace ws::sys
