// The sample update server: serves a folder over HTTP/1.1 on a loopback port,
// with one listening CSocketMaster and one CSocketMaster per connection.
// Files leave in pieces read from disk as the socket takes them, pipelined
// requests are answered one after another, and a connection that makes no
// progress for the idle time-out is closed, so memory and descriptors stay
// bounded whatever the file sizes and the clients do.
#pragma once

#include "server/FileResponder.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

class CSocketMaster;

class SampleServer {
public:
    // The largest piece of a file handed to a socket at once.
    static constexpr qint64 pieceSize = 256 * 1024;
    // Request bytes a connection may hold unanswered while a reply is sent.
    static constexpr qsizetype maxPending = 4 * FileResponder::maxHeadSize;

    SampleServer(const QString& root, std::int32_t port);
    ~SampleServer();
    SampleServer(const SampleServer&) = delete;
    SampleServer& operator=(const SampleServer&) = delete;

    // Listens on 127.0.0.1; raises the socket's error when the port is taken.
    void Start();
    // The port listened on (the one chosen when 0 was asked for).
    std::int32_t Port() const;
    int OpenConnections() const { return int(connections_.size()); }
    // Request bytes waiting and reply bytes handed to sockets but not yet sent.
    qint64 HeldBytes() const;
    // How long a connection may wait for a complete request, or for a sent
    // byte while it is answered, before it is closed.
    void IdleTimeout(int milliseconds);

private:
    struct Connection {
        std::shared_ptr<CSocketMaster> socket;
        QByteArray pending;                        // request bytes not answered yet
        std::optional<FileResponder::Reply> reply; // the answer being sent
        qint64 queued = 0;                         // bytes in the socket's send buffer
        qint64 lastProgress = 0;                   // on clock_, in ms
        bool closeWhenSent = false;
        bool pumping = false; // Pump is running for this connection
    };

    void OnConnectionRequest(std::int32_t requestID);
    void OnDataArrival(std::uint64_t id);
    void Pump(std::uint64_t id);
    bool SendNextPiece(std::uint64_t id, Connection& connection);
    void DropIdle();
    void Drop(std::uint64_t id);

    FileResponder responder_;
    std::int32_t port_;
    std::shared_ptr<CSocketMaster> listener_;
    std::map<std::uint64_t, Connection> connections_;
    std::uint64_t nextId_ = 1;
    int idleTimeout_ = 20000;
    QElapsedTimer clock_;
    QTimer idleTimer_;
};
