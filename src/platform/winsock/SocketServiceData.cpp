// The socket calls of the service that move data: send, sendto, recv,
// recvfrom and shutdown, with "would block", truncation and broken
// connections reported as the service reports them, and the re-enabling of
// FD_READ and FD_WRITE they imply.
#include "platform/winsock/SocketService.h"
#include "platform/winsock/SystemSocket.h"
#include "platform/winsock/WsaError.h"

#include <cstring>
#include <netinet/tcp.h>

namespace ws {
namespace {

using namespace sys;

// The bytes still queued after a stream read, from TCP_INQ; -1 when unknown.
// At the end of the stream with nothing queued the kernel answers 1.
int QueueLeft(msghdr& mh) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&mh); c; c = CMSG_NXTHDR(&mh, c)) {
        if (c->cmsg_level == SOL_TCP && c->cmsg_type == TCP_CM_INQ) {
            int left;
            std::memcpy(&left, CMSG_DATA(c), sizeof left);
            return left;
        }
    }
    return -1;
}

} // namespace

int SocketService::Send(SOCKET h, const char* buf, int len, int flags, const sockaddr_in* to,
                        int tolen) {
    Sock* s = Find(h);
    if (!s)
        return Fail(WSAENOTSOCK);
    if (len < 0 || (!buf && len > 0))
        return Fail(WSAEFAULT);
    if (flags != 0)
        return Fail(WSAEOPNOTSUPP);
    if (s->stream && s->state != State::Connected)
        return Fail(WSAENOTCONN);
    ::sockaddr_in dest{};
    const bool addressed = !s->stream && to;
    if (addressed) {
        if (const int error = AddressError(to, tolen))
            return Fail(error);
        dest = ToLinux(*to);
    }
    const auto total = static_cast<std::size_t>(len);
    std::size_t done = 0;
    for (;;) {
        // MSG_NOSIGNAL: a closed peer gives EPIPE, never SIGPIPE.
        const auto n =
            ::sendto(s->fd, buf + done, total - done, MSG_NOSIGNAL | MSG_DONTWAIT,
                     addressed ? AsAddress(&dest) : nullptr, addressed ? sizeof dest : 0);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
            if (!s->stream) {
                s->bound = true; // sendto binds an unbound datagram socket
                if (s->state == State::Idle)
                    s->state = State::Bound;
            }
            // Blocking mode sends everything, as the service does.
            if (s->nonBlocking || !s->stream || done == total)
                return Succeed(static_cast<int>(done));
            continue;
        }
        const int errnum = errno;
        if (errnum == EINTR)
            continue;
        if (Transient(errnum)) {
            if (!s->nonBlocking) {
                WaitFor(s->fd, POLLOUT, -1);
                continue;
            }
            if (done > 0)
                return Succeed(static_cast<int>(done));
            s->writeOwed = true; // the next FD_WRITE comes when space frees
            return Fail(WSAEWOULDBLOCK);
        }
        if (!s->stream)
            return Fail(DatagramErrorFromErrno(errnum));
        if (errnum == EPIPE)
            return Fail(s->shutWr ? WSAESHUTDOWN : WSAECONNRESET);
        return Fail(ErrorFromErrno(errnum));
    }
}

int SocketService::Receive(SOCKET h, char* buf, int len, int flags, sockaddr_in* from,
                           int* fromlen) {
    Sock* s = Find(h);
    if (!s)
        return Fail(WSAENOTSOCK);
    if (len < 0 || (!buf && len > 0))
        return Fail(WSAEFAULT);
    if ((flags & ~number::MsgPeek) != 0)
        return Fail(WSAEOPNOTSUPP);
    const bool wantFrom = !s->stream && from;
    if (wantFrom && (!fromlen || *fromlen < AddressSize))
        return Fail(WSAEFAULT);
    if (!s->stream && !s->bound)
        return Fail(WSAEINVAL);
    if (s->stream && s->state == State::Listening)
        return Fail(WSAENOTCONN);
    ::sockaddr_in sender{};
    iovec io{buf, static_cast<std::size_t>(len)};
    msghdr mh{};
    mh.msg_name = &sender;
    mh.msg_namelen = sizeof sender;
    mh.msg_iov = &io;
    mh.msg_iovlen = 1;
    // With TCP_INQ the kernel tells how much is left, which spares a look
    // of our own after each read.
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    const int lflags = (flags & number::MsgPeek ? MSG_PEEK : 0) | MSG_DONTWAIT;
    ssize_t n;
    int errnum = 0;
    for (;;) {
        mh.msg_control = s->stream ? control : nullptr;
        mh.msg_controllen = s->stream ? sizeof control : 0;
        n = ::recvmsg(s->fd, &mh, lflags);
        if (n >= 0)
            break;
        errnum = errno;
        if (errnum == EINTR)
            continue;
        if (Transient(errnum) && !s->nonBlocking) {
            WaitFor(s->fd, POLLIN, -1);
            continue;
        }
        break;
    }
    int error = 0;
    if (n < 0) {
        error = s->stream ? ErrorFromErrno(errnum) : DatagramErrorFromErrno(errnum);
        if (s->stream && !Transient(errnum) && errnum != ENOTCONN && s->errStash == 0) {
            s->errStash = errnum; // the close notification reports it
            s->errReported = true;
        }
    } else if (s->stream && n == 0 && len > 0 && s->errStash != 0 && !s->errReported) {
        // A reset whose error the service read first: reported once, after the data.
        error = ErrorFromErrno(s->errStash);
        s->errReported = true;
    } else if (!s->stream && (mh.msg_flags & MSG_TRUNC)) {
        error = WSAEMSGSIZE; // the buffer holds the datagram's first len bytes
    }
    if (wantFrom && n >= 0)
        FromLinux(sender, from, fromlen);
    // Every receive re-enables FD_READ (with MSG_PEEK too, and when it fails);
    // data still waiting posts it again at once.
    AfterReceive(*s, n, len, (flags & number::MsgPeek) != 0, n >= 0 ? QueueLeft(mh) : -1);
    return error ? Fail(error) : Succeed(static_cast<int>(n));
}

int SocketService::Shutdown(SOCKET h, int how) {
    Sock* s = Find(h);
    if (!s)
        return Fail(WSAENOTSOCK);
    if (how != SD_RECEIVE && how != SD_SEND && how != SD_BOTH)
        return Fail(WSAEINVAL);
    if (s->stream && s->state != State::Connected)
        return Fail(WSAENOTCONN);
    const int linuxHow = how == SD_RECEIVE ? SHUT_RD : how == SD_SEND ? SHUT_WR : SHUT_RDWR;
    if (::shutdown(s->fd, linuxHow) < 0)
        return Fail(ErrorFromErrno(errno));
    if (how != SD_RECEIVE)
        s->shutWr = true;
    return Succeed(0);
}

} // namespace ws
