// The sample update server: serves a folder over HTTP/1.1 on a loopback port,
// with one listening CSocketMaster and one CSocketMaster per connection.
#pragma once

#include "server/FileResponder.h"

#include <QString>
#include <cstdint>
#include <map>
#include <memory>

class CSocketMaster;

class SampleServer {
public:
    SampleServer(const QString& root, std::int32_t port);
    ~SampleServer();
    SampleServer(const SampleServer&) = delete;
    SampleServer& operator=(const SampleServer&) = delete;

    // Listens on 127.0.0.1; raises the socket's error when the port is taken.
    void Start();
    // The port listened on (the one chosen when 0 was asked for).
    std::int32_t Port() const;
    int OpenConnections() const { return int(connections_.size()); }

private:
    struct Connection {
        std::shared_ptr<CSocketMaster> socket;
        QByteArray pending;
        bool closeWhenSent = false;
    };

    void OnConnectionRequest(std::int32_t requestID);
    void OnDataArrival(std::uint64_t id);
    void Drop(std::uint64_t id);

    FileResponder responder_;
    std::int32_t port_;
    std::shared_ptr<CSocketMaster> listener_;
    std::map<std::uint64_t, Connection> connections_;
    std::uint64_t nextId_ = 1;
};
