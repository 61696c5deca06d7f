// Socket table, epoll watching and the posting rules of asynchronous
// selection: which network event is posted when, and what re-enables it.
//
// Every descriptor sits in one epoll set in edge-triggered mode, so a
// condition that persists (end of stream, a failed connect, a datagram error)
// wakes the loop once instead of spinning. Whatever the edges missed while an
// event was outstanding is caught by evaluating the socket again whenever the
// caller re-enables that event.
#include "platform/winsock/SocketService.h"

#include "platform/winsock/WsaError.h"

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ws {
namespace {

constexpr std::uint32_t WatchedEvents = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;

} // namespace

void SocketService::EnableQueueHint(int fd) {
    const int on = 1;
    ::setsockopt(fd, SOL_TCP, TCP_INQ, &on, sizeof on); // without it, reads look for themselves
}

int SocketService::PendingError(int fd) {
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) < 0)
        return errno;
    return error;
}

int SocketService::SetConnectTimeout(int milliseconds) {
    const int previous = connectTimeoutMs;
    connectTimeoutMs = milliseconds > 0 ? milliseconds : 1;
    return previous;
}

SocketService::SocketService() {
    epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    deadlineTimer.setSingleShot(true);
    deadlineTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadlineTimer, &QTimer::timeout, &deadlineTimer, [this] { OnDeadline(); });
}

SocketService::~SocketService() {
    notifier.reset();
    for (auto& [handle, s] : sockets)
        ::close(s.fd);
    if (epollFd >= 0)
        ::close(epollFd);
}

SocketService::Sock* SocketService::Find(SOCKET s) {
    auto it = sockets.find(s);
    return it == sockets.end() ? nullptr : &it->second;
}

SocketService::Sock* SocketService::Add(SOCKET handle, int fd, bool stream) {
    if (stream)
        EnableQueueHint(fd);
    Sock& s = sockets[handle];
    s.handle = handle;
    s.fd = fd;
    s.stream = stream;
    if (!Watch(s)) {
        sockets.erase(handle);
        return nullptr;
    }
    return &s;
}

bool SocketService::Watch(const Sock& s) {
    // The notifier comes with the first socket: by then the event loop exists.
    if (!notifier && epollFd >= 0) {
        notifier = std::make_unique<QSocketNotifier>(epollFd, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                         [this] { OnEpoll(); });
    }
    epoll_event ev{};
    ev.events = WatchedEvents;
    ev.data.u64 = static_cast<std::uint64_t>(s.handle);
    return epollFd >= 0 && ::epoll_ctl(epollFd, EPOLL_CTL_ADD, s.fd, &ev) == 0;
}

void SocketService::Unwatch(const Sock& s) {
    // Before the descriptor is closed, so a reused number is never watched for us.
    ::epoll_ctl(epollFd, EPOLL_CTL_DEL, s.fd, nullptr);
}

int SocketService::Close(SOCKET h) {
    Sock* s = Find(h);
    if (!s)
        return Fail(WSAENOTSOCK);
    DropDeadline(*s);
    Unwatch(*s);
    ::close(s->fd);
    sockets.erase(h);
    return Succeed(0);
}

int SocketService::AsyncSelect(SOCKET h, win::HWND hWnd, std::uint32_t wMsg, long lEvent) {
    Sock* s = Find(h);
    if (!s)
        return Fail(WSAENOTSOCK);
    lEvent &= FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;
    if (lEvent != 0 && !win::IsWindow(hWnd))
        return Fail(WSAEINVAL);
    s->nonBlocking = true;
    if (lEvent == 0) {
        // Messages already queued stay queued, as the service leaves them.
        s->hwnd = 0;
        s->msg = 0;
        s->mask = 0;
        s->armed = 0;
        return Succeed(0);
    }
    s->hwnd = hWnd;
    s->msg = wMsg;
    s->mask = lEvent;
    s->armed = FD_READ | FD_ACCEPT;
    s->closeSeen = false;
    s->writeOwed = !s->stream || s->state == State::Connected;
    // Every condition that holds now is reported now.
    if (s->stream && s->state == State::Connected)
        Post(*s, FD_CONNECT, 0);
    EvaluateNow(*s);
    return Succeed(0);
}

void SocketService::Post(const Sock& s, long event, int error) const {
    if ((s.mask & event) == 0)
        return;
    const auto reply =
        static_cast<std::uint32_t>(event) | (static_cast<std::uint32_t>(error) << 16);
    win::PostMessage(s.hwnd, s.msg, s.handle, static_cast<win::LPARAM>(reply));
}

void SocketService::OnEpoll() {
    constexpr int batch = 128;
    epoll_event events[batch];
    // A few rounds at most; anything left keeps the notifier readable.
    for (int round = 0; round < 8; ++round) {
        const int n = ::epoll_wait(epollFd, events, batch, 0);
        if (n < 0 && errno == EINTR)
            continue;
        for (int i = 0; i < n; ++i) {
            if (Sock* s = Find(static_cast<SOCKET>(events[i].data.u64)))
                Evaluate(*s, events[i].events);
        }
        if (n < batch)
            return;
    }
}

void SocketService::EvaluateNow(Sock& s) {
    pollfd p{s.fd, POLLIN | POLLOUT | POLLRDHUP, 0};
    if (::poll(&p, 1, 0) < 0)
        return;
    // poll and epoll share their bit values on Linux.
    Evaluate(s, static_cast<std::uint16_t>(p.revents));
}

void SocketService::Evaluate(Sock& s, std::uint32_t events) {
    if (s.state == State::Connecting) {
        if ((events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) == 0)
            return;
        FinishConnect(s, PendingError(s.fd));
        if (s.state != State::Connected)
            return;
    }
    if (s.mask == 0)
        return;
    if (s.state == State::Listening) {
        if ((s.armed & FD_ACCEPT) && (events & EPOLLIN)) {
            s.armed &= ~FD_ACCEPT;
            Post(s, FD_ACCEPT, 0);
        }
        return;
    }
    const bool canSend = !s.stream || s.state == State::Connected;
    if (s.writeOwed && canSend && (events & EPOLLOUT)) {
        s.writeOwed = false;
        Post(s, FD_WRITE, 0);
    }
    if (!s.stream) {
        // An ICMP error shows as a read whose recvfrom fails, as the service reports it.
        if ((s.armed & FD_READ) && s.bound && (events & (EPOLLIN | EPOLLERR))) {
            s.armed &= ~FD_READ;
            Post(s, FD_READ, 0);
        }
        return;
    }
    if (s.state == State::Connected && !s.closeSeen)
        EvaluateStream(s, events);
}

void SocketService::EvaluateStream(Sock& s, std::uint32_t events) {
    if (s.errStash == 0 && (events & EPOLLERR))
        s.errStash = PendingError(s.fd);
    if (events & (EPOLLRDHUP | EPOLLHUP))
        s.peerClosed = true;
    if (s.errStash == 0) {
        if (!s.peerClosed) {
            // Readable and not at its end: data waits. Nothing to decide
            // while a read notification is outstanding.
            if ((events & EPOLLIN) && (s.armed & FD_READ)) {
                s.armed &= ~FD_READ;
                Post(s, FD_READ, 0);
            }
            return;
        }
        // The peer has finished sending: data first, then the close.
        char byte;
        const auto n = ::recv(s.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0) {
            if (s.armed & FD_READ) {
                s.armed &= ~FD_READ;
                Post(s, FD_READ, 0);
            }
            return;
        }
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                return;
            s.errStash = errno;
        }
        // n == 0: the peer's end of stream, and nothing left to read.
    }
    // An abortive close is reported at once; unread data is lost to the caller.
    s.closeSeen = true;
    Post(s, FD_CLOSE, s.errStash ? CloseErrorFromErrno(s.errStash) : 0);
}

// The level rule after a receive, without a system call where the read
// itself tells: data known to remain posts FD_READ again; a queue known to
// be empty waits for the next edge; anything else is looked at.
void SocketService::AfterReceive(Sock& s, std::ptrdiff_t got, int len, bool peek, int left) {
    s.armed |= FD_READ;
    if (!s.stream || s.peerClosed || s.errStash != 0 || got == 0) {
        EvaluateNow(s);
        return;
    }
    if (got < 0)
        return; // would block: nothing queued
    const bool remains = peek || left >= 2;
    const bool emptied = left == 0 || (left < 0 && got < len);
    if (remains) {
        s.armed &= ~FD_READ;
        Post(s, FD_READ, 0);
    } else if (!emptied) {
        EvaluateNow(s); // one byte, or the end of the stream, or unknown
    }
}

void SocketService::FinishConnect(Sock& s, int errnum) {
    DropDeadline(s);
    if (errnum != 0) {
        s.state = State::ConnectFailed;
        Post(s, FD_CONNECT, ConnectErrorFromErrno(errnum));
        return;
    }
    s.state = State::Connected;
    s.writeOwed = true;
    Post(s, FD_CONNECT, 0);
}

void SocketService::ArmDeadline(Sock& s, int milliseconds) {
    DropDeadline(s);
    const auto when = Clock::now() + std::chrono::milliseconds(milliseconds);
    s.deadline = deadlines.emplace(when, s.handle);
    s.hasDeadline = true;
    if (s.deadline == deadlines.begin())
        ScheduleDeadlineTimer();
}

void SocketService::DropDeadline(Sock& s) {
    // The timer may fire for a deadline already gone; it then just re-schedules.
    if (s.hasDeadline)
        deadlines.erase(s.deadline);
    s.hasDeadline = false;
}

void SocketService::ScheduleDeadlineTimer() {
    if (deadlines.empty()) {
        deadlineTimer.stop();
        return;
    }
    const auto wait = deadlines.begin()->first - Clock::now();
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
    deadlineTimer.start(static_cast<int>(ms > 0 ? ms : 0));
}

void SocketService::OnDeadline() {
    const auto now = Clock::now();
    while (!deadlines.empty() && deadlines.begin()->first <= now) {
        Sock* s = Find(deadlines.begin()->second);
        deadlines.erase(deadlines.begin());
        if (!s)
            continue;
        s->hasDeadline = false;
        if (s->state == State::Listening)
            s->armed |= FD_ACCEPT; // the pause after running out of descriptors is over
        EvaluateNow(*s);           // it may have finished just now
        if (s->state != State::Connecting)
            continue;
        AbortConnect(*s);
        Post(*s, FD_CONNECT, WSAETIMEDOUT);
    }
    ScheduleDeadlineTimer();
}

// Gives up a connect that got no answer, as the service does after about
// 21 s where Linux would go on for about two minutes, and stops the kernel's retries.
void SocketService::AbortConnect(Sock& s) {
    ::sockaddr unspec{};
    unspec.sa_family = AF_UNSPEC;
    ::connect(s.fd, &unspec, sizeof unspec);
    s.state = State::ConnectFailed;
}

} // namespace ws
