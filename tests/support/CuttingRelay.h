// A loopback relay in front of a real server that cuts the first connection
// after a given number of answer bytes, as a line that drops mid-download,
// and passes every later one through whole. It records what clients sent.
#pragma once

#include <QByteArray>
#include <QList>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

class CuttingRelay {
public:
    CuttingRelay(std::uint16_t serverPort, qint64 cutAfter);
    ~CuttingRelay();
    CuttingRelay(const CuttingRelay&) = delete;
    CuttingRelay& operator=(const CuttingRelay&) = delete;

    QByteArray hostAndPort() const;
    // What each connection's client sent, in order.
    QList<QByteArray> requests() const;

private:
    void Run();
    void Relay(int client, qint64 limit);

    int listenFd_ = -1;
    std::uint16_t serverPort_;
    std::uint16_t port_ = 0;
    qint64 cutAfter_;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    QList<QByteArray> requests_;
    std::thread thread_;
};
