// Throughput of the socket service: 256 MB over loopback between two sockets
// driven by asynchronous selection (send until "would block", one recv of
// SO_RCVBUF bytes per read notification), against plain non-blocking poll
// loops with the same piece sizes: one that reads until "would block" on each
// wake-up, and one that reads one piece per wake-up as the service's callers
// do. Prints MB/s for each and the ratios.
#include "ServiceBench.h"
#include "platform/winsock/MessageWindow.h"
#include "platform/winsock/WinSock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <vector>

namespace {

constexpr long long TotalBytes = 256LL << 20;
constexpr win::UINT SocketMsg = 2049;

struct Pieces {
    int send = 0; // 0: SO_SNDBUF of the new sending socket, as a socket object takes it
    int recv = 0; // SO_RCVBUF of the accepted socket
};

struct Run {
    double seconds = 0;
    long long bytes = 0;
};

int Option(ws::SOCKET s, int option) {
    int value = 0;
    int len = sizeof value;
    ws::getsockopt(s, ws::SOL_SOCKET, option, reinterpret_cast<char*>(&value), &len);
    return value;
}

// The service's side: everything happens in the window procedure.
Run ServiceStream(Pieces* pieces, int sendPiece) {
    ws::WSADATA data;
    ws::WSAStartup(0x0101, &data);
    ws::sockaddr_in local;
    const ws::SOCKET listener = bench::LoopbackListener(1, &local);

    const win::HWND hwnd = win::CreateMessageWindow();
    const ws::SOCKET sender = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
    // Read when the socket is new, as a socket object sizes its pieces.
    pieces->send = sendPiece ? sendPiece : Option(sender, ws::SO_SNDBUF);
    ws::WSAAsyncSelect(sender, hwnd, SocketMsg, ws::FD_WRITE | ws::FD_CONNECT | ws::FD_CLOSE);
    ws::connect(sender, &local, sizeof local);                    // completes asynchronously
    ws::SOCKET receiver = ws::accept(listener, nullptr, nullptr); // blocking: the SYN is queued
    ws::WSAAsyncSelect(receiver, hwnd, SocketMsg, ws::FD_READ | ws::FD_CLOSE);
    pieces->recv = Option(receiver, ws::SO_RCVBUF);

    std::vector<char> out(static_cast<std::size_t>(pieces->send), 's');
    std::vector<char> in(static_cast<std::size_t>(pieces->recv));
    long long sent = 0;
    long long received = 0;
    win::SetWindowProc(hwnd, [&](win::HWND, win::UINT, win::WPARAM w, win::LPARAM l) {
        const long event = l & 0xFFFF;
        if (w == sender && event == ws::FD_WRITE) {
            while (sent < TotalBytes) {
                const int n = ws::send(sender, out.data(), pieces->send, 0);
                if (n == ws::SOCKET_ERROR)
                    break; // would block: the next FD_WRITE resumes
                sent += n;
            }
        } else if (w == receiver && event == ws::FD_READ) {
            const int n = ws::recv(receiver, in.data(), pieces->recv, 0);
            if (n > 0)
                received += n;
        }
        return win::LRESULT{0};
    });
    QElapsedTimer clock;
    clock.start();
    while (received < TotalBytes)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    const Run run{static_cast<double>(clock.nsecsElapsed()) / 1e9, received};
    ws::closesocket(sender);
    ws::closesocket(receiver);
    ws::closesocket(listener);
    win::DestroyWindow(hwnd);
    ws::WSACleanup();
    return run;
}

} // namespace

// The plain side uses the Linux calls directly; their headers come after the
// service's code, whose names their macros (AF_INET, htons, ...) would hide.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

Run PlainStream(const Pieces& pieces, bool drain) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local);
    ::listen(listener, 1);
    socklen_t len = sizeof local;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&local), &len);
    const int sender = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(sender, reinterpret_cast<sockaddr*>(&local), sizeof local);
    const int receiver = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK);

    std::vector<char> out(static_cast<std::size_t>(pieces.send), 's');
    std::vector<char> in(static_cast<std::size_t>(pieces.recv));
    long long sent = 0;
    long long received = 0;
    QElapsedTimer clock;
    clock.start();
    while (received < TotalBytes) {
        pollfd fds[2] = {{sender, static_cast<short>(sent < TotalBytes ? POLLOUT : 0), 0},
                         {receiver, POLLIN, 0}};
        ::poll(fds, 2, -1);
        if (fds[0].revents & POLLOUT) {
            while (sent < TotalBytes) {
                const auto n = ::send(sender, out.data(), out.size(), MSG_NOSIGNAL);
                if (n < 0)
                    break;
                sent += n;
            }
        }
        if (fds[1].revents & POLLIN) {
            for (;;) {
                const auto n = ::recv(receiver, in.data(), in.size(), 0);
                if (n <= 0)
                    break;
                received += n;
                if (!drain)
                    break;
            }
        }
    }
    const Run run{static_cast<double>(clock.nsecsElapsed()) / 1e9, received};
    ::close(sender);
    ::close(receiver);
    ::close(listener);
    return run;
}

double MegabytesPerSecond(const Run& run) {
    return static_cast<double>(run.bytes) / (1 << 20) / run.seconds;
}

double Best(double a, double b) {
    return a > b ? a : b;
}

void Compare(int sendPiece) {
    // Best of seven each, interleaved, to smooth out a shared machine.
    double service = 0;
    double drain = 0;
    double piecewise = 0;
    Pieces pieces;
    for (int round = 0; round < 7; ++round) {
        service = Best(service, MegabytesPerSecond(ServiceStream(&pieces, sendPiece)));
        drain = Best(drain, MegabytesPerSecond(PlainStream(pieces, true)));
        piecewise = Best(piecewise, MegabytesPerSecond(PlainStream(pieces, false)));
    }
    std::printf("pieces: send %d bytes, recv %d bytes; 256 MB per run, best of 7\n", pieces.send,
                pieces.recv);
    std::printf("  socket service:               %8.1f MB/s\n", service);
    std::printf("  plain poll, read until empty: %8.1f MB/s  ratio %.2f\n", drain, service / drain);
    std::printf("  plain poll, one read a wake:  %8.1f MB/s  ratio %.2f\n", piecewise,
                service / piecewise);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Compare(0);       // the pieces a socket object uses
    Compare(1 << 20); // large sends: the reading side alone sets the pace
    return 0;
}
