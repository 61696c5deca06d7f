// Scaling of the socket service with the number of sockets: N loopback
// connections, all registered for notifications on one window, exchange a
// 100-byte echo per round. The cost per connection and round should not grow
// from 200 to 2,000 connections (4,001 sockets).
#include "ServiceBench.h"
#include "platform/winsock/MessageWindow.h"
#include "platform/winsock/WinSock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <functional>
#include <unordered_map>
#include <vector>

namespace {

constexpr win::UINT SocketMsg = 2049;
constexpr int Rounds = 20;
constexpr int Message = 100;

struct Figures {
    double connectMs = 0;
    double roundUsPerConnection = 0;
};

void PumpUntil(const std::function<bool()>& done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

Figures Measure(int count) {
    ws::WSADATA data;
    ws::WSAStartup(0x0101, &data);
    const win::HWND hwnd = win::CreateMessageWindow();
    ws::sockaddr_in local;
    const ws::SOCKET listener = bench::LoopbackListener(4096, &local);
    ws::WSAAsyncSelect(listener, hwnd, SocketMsg, ws::FD_ACCEPT);

    enum class Role { Client, Server };
    std::unordered_map<ws::SOCKET, Role> roles;
    std::vector<ws::SOCKET> clients;
    int connected = 0;
    int accepted = 0;
    int echoed = 0;
    char buf[Message] = {};
    win::SetWindowProc(hwnd, [&](win::HWND, win::UINT, win::WPARAM w, win::LPARAM l) {
        const long event = l & 0xFFFF;
        if (w == listener && event == ws::FD_ACCEPT) {
            const ws::SOCKET s = ws::accept(listener, nullptr, nullptr);
            if (s != ws::INVALID_SOCKET) {
                roles[s] = Role::Server; // it inherits the listener's window and events
                ws::WSAAsyncSelect(s, hwnd, SocketMsg, ws::FD_READ);
                ++accepted;
            }
            return win::LRESULT{0};
        }
        auto it = roles.find(w);
        if (it == roles.end())
            return win::LRESULT{0};
        if (event == ws::FD_CONNECT) {
            ++connected;
        } else if (event == ws::FD_READ) {
            const int n = ws::recv(w, buf, Message, 0);
            if (n == Message && it->second == Role::Server)
                ws::send(w, buf, Message, 0);
            else if (n == Message)
                ++echoed;
        }
        return win::LRESULT{0};
    });

    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        const ws::SOCKET s = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
        roles[s] = Role::Client;
        clients.push_back(s);
        ws::WSAAsyncSelect(s, hwnd, SocketMsg, ws::FD_CONNECT | ws::FD_READ);
        ws::connect(s, &local, sizeof local);
    }
    PumpUntil([&] { return connected == count && accepted == count; });
    Figures f;
    f.connectMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;

    clock.restart();
    for (int round = 1; round <= Rounds; ++round) {
        for (ws::SOCKET s : clients)
            ws::send(s, buf, Message, 0);
        PumpUntil([&] { return echoed == round * count; });
    }
    f.roundUsPerConnection = static_cast<double>(clock.nsecsElapsed()) / 1e3 / Rounds / count;
    win::DestroyWindow(hwnd);
    ws::WSACleanup(); // closes every socket
    return f;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Measure(50); // warm-up
    const Figures small = Measure(200);
    const Figures large = Measure(2000);
    std::printf("connections  connect all (ms)  echo round (us per connection)\n");
    std::printf("%11d  %16.1f  %30.2f\n", 200, small.connectMs, small.roundUsPerConnection);
    std::printf("%11d  %16.1f  %30.2f\n", 2000, large.connectMs, large.roundUsPerConnection);
    std::printf("per-connection cost, 2000 vs 200: %.2f\n",
                large.roundUsPerConnection / small.roundUsPerConnection);
    return 0;
}
