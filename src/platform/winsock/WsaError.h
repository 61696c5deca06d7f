// Translation of Linux errors into the socket service's error codes, and the
// last-error bookkeeping every service call goes through.
#pragma once

namespace ws {

// errno of a socket call to the service's code (EINPROGRESS gives 10035).
int ErrorFromErrno(int errnum);
// errno of a datagram send or receive: an ICMP port-unreachable shows as a reset.
int DatagramErrorFromErrno(int errnum);
// errno of a broken connection, as the close notification reports it.
int CloseErrorFromErrno(int errnum);
// errno of a failed connect, as the connect notification reports it.
int ConnectErrorFromErrno(int errnum);
// getaddrinfo's EAI_ codes (EAI_SYSTEM uses errnum).
int ErrorFromEai(int eai, int errnum);
// gethostbyname's h_errno.
int ErrorFromHerrno(int herrno);

// Sets the last error and answers SOCKET_ERROR.
int Fail(int error);
// Clears the last error and answers `result`.
template <typename T> T Succeed(T result);

} // namespace ws

#include "platform/winsock/WinSock.h"

template <typename T> T ws::Succeed(T result) {
    WSASetLastError(0);
    return result;
}
