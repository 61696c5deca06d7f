// The socket half of the socket service: virtual handles over non-blocking
// Linux sockets, one edge-triggered epoll set watched by one notifier, and the
// posting rules of asynchronous selection. Lives from the first WSAStartup to
// the last WSACleanup; UI thread only.
#pragma once

#include "platform/winsock/WinSock.h"

#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>

namespace ws {

class SocketService {
public:
    SocketService();
    ~SocketService(); // closes every socket
    SocketService(const SocketService&) = delete;
    SocketService& operator=(const SocketService&) = delete;

    SOCKET Socket(int af, int type, int protocol);
    int Close(SOCKET s);
    int Bind(SOCKET s, const sockaddr_in* name, int namelen);
    int Connect(SOCKET s, const sockaddr_in* name, int namelen);
    int Listen(SOCKET s, int backlog);
    SOCKET Accept(SOCKET s, sockaddr_in* addr, int* addrlen);
    int Name(SOCKET s, sockaddr_in* name, int* namelen, bool peer);
    int GetOption(SOCKET s, int level, int optname, char* optval, int* optlen);
    int SetOption(SOCKET s, int level, int optname, const char* optval, int optlen);
    int Ioctl(SOCKET s, long cmd, std::uint32_t* argp);
    int Send(SOCKET s, const char* buf, int len, int flags, const sockaddr_in* to, int tolen);
    int Receive(SOCKET s, char* buf, int len, int flags, sockaddr_in* from, int* fromlen);
    int Shutdown(SOCKET s, int how);
    int AsyncSelect(SOCKET s, win::HWND hWnd, std::uint32_t wMsg, long lEvent);

    static int SetConnectTimeout(int milliseconds);

private:
    enum class State { Idle, Bound, Listening, Connecting, Connected, ConnectFailed };
    using Clock = std::chrono::steady_clock;
    using Deadlines = std::multimap<Clock::time_point, SOCKET>;

    struct Sock {
        SOCKET handle = 0;
        int fd = -1;
        bool stream = true;
        State state = State::Idle;
        bool bound = false;
        bool nonBlocking = false;
        // Registration of WSAAsyncSelect.
        win::HWND hwnd = 0;
        std::uint32_t msg = 0;
        long mask = 0;
        long armed = 0;         // FD_READ / FD_ACCEPT may be posted
        bool writeOwed = false; // FD_WRITE is due once the socket is writable
        bool closeSeen = false; // FD_CLOSE handled for this registration
        bool shutWr = false;
        bool peerClosed = false; // the peer's end of stream (or a reset) was seen
        int errStash = 0;        // errno of a broken connection, read once from the kernel
        bool errReported = false;
        // What a fresh descriptor needs after a failed connect.
        std::uint32_t bindAddr = 0; // network order
        std::uint16_t bindPort = 0; // network order; the port the kernel chose
        bool explicitBind = false;
        int broadcast = -1;
        int sndbuf = -1; // as the caller set them
        int rcvbuf = -1;
        bool hasDeadline = false; // connecting: give up; listening: accept again
        Deadlines::iterator deadline;
        int acceptPauseMs = 0; // the last pause after running out of descriptors
    };

    Sock* Find(SOCKET s);
    Sock* Add(SOCKET handle, int fd, bool stream);
    bool Watch(const Sock& s);
    void Unwatch(const Sock& s);
    int Renew(Sock& s);
    void ApplyOptions(const Sock& s) const;

    void OnEpoll();
    void Evaluate(Sock& s, std::uint32_t events);
    void EvaluateNow(Sock& s);
    void EvaluateStream(Sock& s, std::uint32_t events);
    void AfterReceive(Sock& s, std::ptrdiff_t got, int len, bool peek, int left);
    void FinishConnect(Sock& s, int errnum);
    void AbortConnect(Sock& s);
    static int PendingError(int fd);
    static void EnableQueueHint(int fd);
    void Post(const Sock& s, long event, int error) const;

    void ArmDeadline(Sock& s, int milliseconds);
    void DropDeadline(Sock& s);
    void OnDeadline();
    void ScheduleDeadlineTimer();

    static inline int connectTimeoutMs = 21000;
    static constexpr int MinAcceptPauseMs = 50;
    static constexpr int MaxAcceptPauseMs = 1000;

    int epollFd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer deadlineTimer;
    Deadlines deadlines;
    std::unordered_map<SOCKET, Sock> sockets;
};

} // namespace ws
