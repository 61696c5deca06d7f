#include "support/CuttingRelay.h"

#include "support/LoopbackPort.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int sliceMs = 50;

} // namespace

CuttingRelay::CuttingRelay(std::uint16_t serverPort, qint64 cutAfter)
    : serverPort_(serverPort), cutAfter_(cutAfter) {
    listenFd_ = ListenOnLoopback(port_, 8);
    thread_ = std::thread([this] { Run(); });
}

CuttingRelay::~CuttingRelay() {
    stopping_ = true;
    thread_.join();
    ::close(listenFd_);
}

QByteArray CuttingRelay::hostAndPort() const {
    return "127.0.0.1:" + QByteArray::number(port_);
}

QList<QByteArray> CuttingRelay::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

// One connection at a time is all a download needs.
void CuttingRelay::Run() {
    bool first = true;
    while (!stopping_) {
        pollfd listening{listenFd_, POLLIN, 0};
        if (::poll(&listening, 1, sliceMs) <= 0)
            continue;
        const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        {
            std::lock_guard lock(mutex_);
            requests_.append(QByteArray());
        }
        Relay(client, first ? cutAfter_ : -1);
        first = false;
        ::close(client);
    }
}

void CuttingRelay::Relay(int client, qint64 limit) {
    const int server = ConnectToLoopback(serverPort_);
    if (server < 0)
        return;
    qint64 answered = 0;
    char buffer[16384];
    while (!stopping_) {
        pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(ends, 2, sliceMs) <= 0)
            continue;
        if ((ends[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            {
                std::lock_guard lock(mutex_);
                requests_.last().append(buffer, n);
            }
            ::send(server, buffer, size_t(n), MSG_NOSIGNAL);
        }
        if ((ends[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            if (limit >= 0 && answered + n >= limit)
                n = ssize_t(limit - answered);
            ::send(client, buffer, size_t(n), MSG_NOSIGNAL);
            answered += n;
            if (limit >= 0 && answered >= limit)
                break; // the line drops
        }
    }
    ::close(server);
}
