// The socket calls of the service that set sockets up: creation, binding,
// connecting, listening, accepting, names, options and modes, with argument
// checks and results as the service gives them, plus the re-enabling hook
// each call has in asynchronous selection.
#include "platform/winsock/ServiceHandle.h"
#include "platform/winsock/SocketService.h"
#include "platform/winsock/SystemSocket.h"
#include "platform/winsock/WsaError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ws {
namespace {

using namespace sys;

constexpr int MaxDatagram = 65507; // 65535 less the IPv4 and UDP headers

// accept(2): Linux passes pending network errors of the new connection on.
bool AcceptRetryable(int errnum) {
    switch (errnum) {
    case ENETDOWN:
    case EPROTO:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
    case ECONNABORTED:
        return true;
    default:
        return Transient(errnum);
    }
}

// Out of descriptors or memory: retrying at once fails again until something
// is released, so the listener pauses instead of spinning.
bool AcceptExhausted(int errnum) {
    return errnum == EMFILE || errnum == ENFILE || errnum == ENOBUFS || errnum == ENOMEM;
}

int KernelBuffer(int fd, int option) {
    int value = 0;
    socklen_t len = sizeof value;
    if (::getsockopt(fd, SOL_SOCKET, option, &value, &len) < 0)
        return -1;
    return value / 2; // Linux reports twice what it was asked for
}

} // namespace

SOCKET SocketService::Socket(int af, int type, int protocol) {
    if (af != number::AfInet)
        return Fail(WSAEAFNOSUPPORT);
    if (type != number::Stream && type != number::Datagram)
        return Fail(WSAESOCKTNOSUPPORT);
    const int expected = type == number::Stream ? number::Tcp : number::Udp;
    if (protocol != 0 && protocol != expected)
        return Fail(WSAEPROTONOSUPPORT);
    const SOCKET handle = NewServiceHandle();
    if (handle == 0)
        return Fail(WSAEMFILE);
    const int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, expected);
    if (fd < 0)
        return Fail(ErrorFromErrno(errno));
    if (!Add(handle, fd, type == number::Stream)) {
        ::close(fd);
        return Fail(WSAENOBUFS);
    }
    return Succeed(handle);
}

void SocketService::ApplyOptions(const Sock& s) const {
    if (s.broadcast >= 0)
        ::setsockopt(s.fd, SOL_SOCKET, SO_BROADCAST, &s.broadcast, sizeof s.broadcast);
    if (s.sndbuf >= 0)
        ::setsockopt(s.fd, SOL_SOCKET, SO_SNDBUF, &s.sndbuf, sizeof s.sndbuf);
    if (s.rcvbuf >= 0)
        ::setsockopt(s.fd, SOL_SOCKET, SO_RCVBUF, &s.rcvbuf, sizeof s.rcvbuf);
}

// A failed connect leaves a Linux socket unusable, while the service lets the
// caller try again on the same handle: a fresh descriptor takes its place,
// with the same options and local address.
int SocketService::Renew(Sock& s) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0)
        return ErrorFromErrno(errno);
    DropDeadline(s);
    Unwatch(s);
    ::close(s.fd);
    s.fd = fd;
    EnableQueueHint(fd);
    s.state = State::Idle;
    s.bound = false;
    s.errStash = 0;
    s.errReported = false;
    s.closeSeen = false;
    s.peerClosed = false;
    s.writeOwed = false;
    ApplyOptions(s);
    if (!Watch(s))
        return WSAENOBUFS;
    if (s.explicitBind) {
        ::sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = s.bindPort;
        local.sin_addr.s_addr = s.bindAddr;
        if (::bind(fd, AsAddress(&local), sizeof local) < 0)
            return ErrorFromErrno(errno);
        s.bound = true;
        s.state = State::Bound;
    }
    return 0;
}

int SocketService::Bind(SOCKET h, const sockaddr_in* name, int namelen) {
    Sock* s = Find(h);
    if (!s)
        return Fail(WSAENOTSOCK);
    if (const int error = AddressError(name, namelen))
        return Fail(error);
    if (s->bound)
        return Fail(WSAEINVAL);
    ::sockaddr_in local = ToLinux(*name);
    if (::bind(s->fd, AsAddress(&local), sizeof local) < 0)
        return Fail(ErrorFromErrno(errno));
    socklen_t len = sizeof local;
    ::getsockname(s->fd, AsAddress(&local), &len);
    s->bound = true;
    s->explicitBind = true;
    s->bindAddr = name->sin_addr;
    s->bindPort = local.sin_port;
    if (s->state == State::Idle)
        s->state = State::Bound;
    EvaluateNow(*s); // a datagram socket may now be readable
    return Succeed(0);
}

int SocketService::Connect(SOCKET h, const sockaddr_in* name, int namelen) {
    Sock* s = Find(h);
    if (!s)
        return Fail(WSAENOTSOCK);
    if (const int error = AddressError(name, namelen))
        return Fail(error);
    if (s->stream) {
        if (s->state == State::Connecting) {
            EvaluateNow(*s); // settles it if the outcome is known by now
            if (s->state == State::Connecting)
                return Fail(WSAEALREADY);
        }
        if (s->state == State::Listening)
            return Fail(WSAEINVAL);
        if (s->state == State::Connected)
            return Fail(WSAEISCONN);
        if (s->state == State::ConnectFailed) {
            if (const int renewError = Renew(*s))
                return Fail(renewError);
        }
        if (name->sin_addr == 0 || name->sin_port == 0)
            return Fail(WSAEADDRNOTAVAIL);
    }
    const ::sockaddr_in to = ToLinux(*name);
    int r;
    do
        r = ::connect(s->fd, AsAddress(&to), sizeof to);
    while (r < 0 && errno == EINTR);
    const int errnum = r < 0 ? errno : 0;
    if (r < 0 && errnum != EINPROGRESS) {
        if (s->stream)
            s->state = State::ConnectFailed;
        return Fail(s->stream ? ErrorFromErrno(errnum) : DatagramErrorFromErrno(errnum));
    }
    s->bound = true;
    s->state = State::Connecting;
    if (r == 0) {
        // Done at once (datagrams): still reported through the queue.
        EvaluateNow(*s);
        return Succeed(0);
    }
    if (!s->nonBlocking) {
        // Blocking mode waits here, within the same limit.
        if (!WaitFor(s->fd, POLLOUT, connectTimeoutMs)) {
            AbortConnect(*s);
            return Fail(WSAETIMEDOUT);
        }
        const int outcome = PendingError(s->fd);
        FinishConnect(*s, outcome);
        return outcome ? Fail(ErrorFromErrno(outcome)) : Succeed(0);
    }
    ArmDeadline(*s, connectTimeoutMs);
    return Fail(WSAEWOULDBLOCK);
}

int SocketService::Listen(SOCKET h, int backlog) {
    Sock* s = Find(h);
    if (!s)
        return Fail(WSAENOTSOCK);
    if (!s->stream)
        return Fail(WSAEOPNOTSUPP);
    if (s->state == State::Connected || s->state == State::Connecting)
        return Fail(WSAEISCONN);
    if (!s->bound)
        return Fail(WSAEINVAL);
    if (::listen(s->fd, backlog < 0 ? 0 : backlog) < 0)
        return Fail(ErrorFromErrno(errno));
    s->state = State::Listening;
    EvaluateNow(*s);
    return Succeed(0);
}

SOCKET SocketService::Accept(SOCKET h, sockaddr_in* addr, int* addrlen) {
    Sock* s = Find(h);
    if (!s)
        return Fail(WSAENOTSOCK);
    if (s->state != State::Listening)
        return Fail(WSAEINVAL);
    if (addr && (!addrlen || *addrlen < AddressSize))
        return Fail(WSAEFAULT);
    ::sockaddr_in peer{};
    int fd;
    int error = 0;
    bool exhausted = false;
    for (;;) {
        socklen_t len = sizeof peer;
        fd = ::accept4(s->fd, AsAddress(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0)
            break;
        const int errnum = errno;
        if (errnum == EINTR)
            continue;
        if (AcceptRetryable(errnum) && !s->nonBlocking) {
            WaitFor(s->fd, POLLIN, -1);
            continue;
        }
        error = AcceptRetryable(errnum) ? WSAEWOULDBLOCK : ErrorFromErrno(errnum);
        exhausted = AcceptExhausted(errnum);
        break;
    }
    const SOCKET handle = fd >= 0 ? NewServiceHandle() : 0;
    Sock* n = handle != 0 ? Add(handle, fd, true) : nullptr;
    if (fd >= 0 && !n) {
        ::close(fd);
        error = handle == 0 ? WSAEMFILE : WSAENOBUFS;
    }
    if (!n && (exhausted || fd >= 0)) {
        // FD_ACCEPT comes back after a pause that doubles while the shortage lasts.
        s->acceptPauseMs = std::clamp(s->acceptPauseMs * 2, MinAcceptPauseMs, MaxAcceptPauseMs);
        ArmDeadline(*s, s->acceptPauseMs);
        return Fail(error);
    }
    // Any other accept re-enables FD_ACCEPT, a failing one too; more waiting
    // connections re-post it at once.
    s->acceptPauseMs = 0;
    s->armed |= FD_ACCEPT;
    EvaluateNow(*s);
    if (!n)
        return Fail(error);
    // The new socket inherits the listener's registration here, inside
    // accept, as the service does: its first notifications go to the
    // listener's window until its owner registers it anew.
    n->state = State::Connected;
    n->bound = true;
    n->nonBlocking = s->nonBlocking;
    n->hwnd = s->hwnd;
    n->msg = s->msg;
    n->mask = s->mask;
    n->armed = FD_READ | FD_ACCEPT;
    n->writeOwed = true;
    n->sndbuf = s->sndbuf;
    n->rcvbuf = s->rcvbuf;
    EvaluateNow(*n);
    if (addr)
        FromLinux(peer, addr, addrlen);
    return Succeed(handle);
}

int SocketService::Name(SOCKET h, sockaddr_in* name, int* namelen, bool peer) {
    Sock* s = Find(h);
    if (!s)
        return Fail(WSAENOTSOCK);
    if (!name || !namelen || *namelen < AddressSize)
        return Fail(WSAEFAULT);
    if (!peer && !s->bound)
        return Fail(WSAEINVAL);
    if (peer && s->stream && s->state != State::Connected)
        return Fail(WSAENOTCONN);
    ::sockaddr_in a{};
    socklen_t len = sizeof a;
    const int r = peer ? ::getpeername(s->fd, AsAddress(&a), &len)
                       : ::getsockname(s->fd, AsAddress(&a), &len);
    if (r < 0)
        return Fail(ErrorFromErrno(errno));
    FromLinux(a, name, namelen);
    return Succeed(0);
}

int SocketService::GetOption(SOCKET h, int level, int optname, char* optval, int* optlen) {
    Sock* s = Find(h);
    if (!s)
        return Fail(WSAENOTSOCK);
    if (level != number::SolSocket)
        return Fail(WSAEINVAL);
    if (!optval || !optlen || *optlen < static_cast<int>(sizeof(int)))
        return Fail(WSAEFAULT);
    int value = 0;
    switch (optname) {
    case number::SoBroadcast: {
        socklen_t len = sizeof value;
        if (::getsockopt(s->fd, SOL_SOCKET, SO_BROADCAST, &value, &len) < 0)
            return Fail(ErrorFromErrno(errno));
        value = value != 0;
        break;
    }
    case number::SoSndBuf:
        value = s->sndbuf >= 0 ? s->sndbuf : KernelBuffer(s->fd, SO_SNDBUF);
        break;
    case number::SoRcvBuf:
        value = s->rcvbuf >= 0 ? s->rcvbuf : KernelBuffer(s->fd, SO_RCVBUF);
        break;
    case number::SoMaxMsgSize:
        if (s->stream)
            return Fail(WSAENOPROTOOPT);
        value = MaxDatagram;
        break;
    default:
        return Fail(WSAENOPROTOOPT);
    }
    if (value < 0)
        return Fail(ErrorFromErrno(errno));
    std::memcpy(optval, &value, sizeof value);
    *optlen = static_cast<int>(sizeof value);
    return Succeed(0);
}

int SocketService::SetOption(SOCKET h, int level, int optname, const char* optval, int optlen) {
    Sock* s = Find(h);
    if (!s)
        return Fail(WSAENOTSOCK);
    if (level != number::SolSocket)
        return Fail(WSAEINVAL);
    if (!optval || optlen < static_cast<int>(sizeof(int)))
        return Fail(WSAEFAULT);
    int value;
    std::memcpy(&value, optval, sizeof value);
    int option;
    int* remembered;
    switch (optname) {
    case number::SoBroadcast:
        value = value != 0;
        option = SO_BROADCAST;
        remembered = &s->broadcast;
        break;
    case number::SoSndBuf:
        option = SO_SNDBUF;
        remembered = &s->sndbuf;
        break;
    case number::SoRcvBuf:
        option = SO_RCVBUF;
        remembered = &s->rcvbuf;
        break;
    default: // SO_MAX_MSG_SIZE is read-only
        return Fail(WSAENOPROTOOPT);
    }
    if (value < 0)
        return Fail(WSAEINVAL);
    if (::setsockopt(s->fd, SOL_SOCKET, option, &value, sizeof value) < 0)
        return Fail(ErrorFromErrno(errno));
    *remembered = value;
    return Succeed(0);
}

int SocketService::Ioctl(SOCKET h, long cmd, std::uint32_t* argp) {
    Sock* s = Find(h);
    if (!s)
        return Fail(WSAENOTSOCK);
    if (!argp)
        return Fail(WSAEFAULT);
    if (cmd == number::FionBio) {
        // Asynchronous selection keeps a socket non-blocking until it is cancelled.
        if (*argp == 0 && s->mask != 0)
            return Fail(WSAEINVAL);
        s->nonBlocking = *argp != 0;
        return Succeed(0);
    }
    if (cmd != number::FionRead)
        return Fail(WSAEINVAL);
    // Stream: bytes queued. Datagram: the size of the next datagram (Linux),
    // the amount one recvfrom returns; the service's total over all queued
    // datagrams would overstate it.
    int queued = 0;
    if (s->state != State::Listening && ::ioctl(s->fd, FIONREAD, &queued) < 0)
        return Fail(ErrorFromErrno(errno));
    *argp = static_cast<std::uint32_t>(queued);
    return Succeed(0);
}

} // namespace ws
