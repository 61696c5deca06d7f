// A plain POSIX client for tests of servers on loopback, in-process or not:
// non-blocking, and Qt's events keep running while it waits, so a server on
// the test's own event loop answers meanwhile. Every wait is bounded.
#pragma once

#include <QByteArray>
#include <cstdint>

class LoopbackClient {
public:
    // Starts connecting to 127.0.0.1:port; the connect completes in Send or Receive.
    explicit LoopbackClient(std::uint16_t port);
    ~LoopbackClient();
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    // True when the handshake completed within `milliseconds`, without
    // running Qt's events (a server that never accepts still completes it
    // while its listen queue has room).
    bool Established(int milliseconds);
    // Sends everything; false when the connection fails or stalls for 5 s.
    bool Send(const QByteArray& bytes);
    // One response: the header block and as many bytes as its
    // Content-Length says (none for HEAD). Empty when none arrives in 5 s.
    QByteArray Response(bool head = false);
    // True when the peer closes (end of stream or reset) within `milliseconds`;
    // whatever arrives first is read and dropped.
    bool Closed(int milliseconds = 5000);

private:
    bool Wait(short events, int milliseconds);
    bool Fill(qsizetype size);

    int fd_ = -1;
    QByteArray buffered_;
    bool ended_ = false;
};
