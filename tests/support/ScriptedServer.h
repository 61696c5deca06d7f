// A loopback HTTP server for tests that misbehaves on request: each path gets
// a script of byte pieces with pauses and an ending (close, stay silent,
// reset). It runs on its own threads, so the code under test can block in its
// event loop as it would against a real server.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class ScriptedServer {
public:
    struct Step {
        QByteArray bytes;
        int pauseMs = 0; // before sending these bytes
    };
    // Close may reset the connection when requests wait unread; Goodbye
    // closes its side, then reads what the client still sends until the
    // client closes too: a graceful close, never a reset.
    enum class Ending { Close, StaySilent, Reset, Goodbye };
    struct Script {
        QList<Step> steps;
        Ending ending = Ending::StaySilent; // a keep-alive server waits for the client
        // When set, the steps are a 206 answer with the one range the request asks of it.
        QByteArray rangeOf = {};
        // With rangeOf: each answer is chunked, and the answers to requests
        // read together go out in one piece, so that one ends within a read
        // where the next begins.
        bool chunked = false;
    };

    // A complete 200 answer with an exact Content-Length, in one piece.
    static Script Ok(const QByteArray& body);
    static Script NotFound();
    static QByteArray Response(const QByteArray& status, const QByteArray& body);
    // A 206 answer with bytes `first` to `last` of `file`, chunked when asked.
    static QByteArray PartOf(const QByteArray& file, qint64 first, qint64 last,
                             bool chunked = false);

    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const { return port_; }
    QByteArray hostAndPort() const;

    // Paths without a script get NotFound().
    void script(const QByteArray& path, Script script);
    // Each request for the path takes the next script; the last one stays.
    void scripts(const QByteArray& path, QList<Script> sequence);

    // Request lines and whole header blocks received so far, in order.
    QList<QByteArray> requestLines() const;
    QList<QByteArray> requests() const;
    int connections() const { return connections_.load(); }

private:
    void acceptLoop();
    void serve(int fd);
    bool pause(int ms);

    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    QMap<QByteArray, QList<Script>> scripts_;
    QList<QByteArray> requests_;
    std::thread acceptor_;
    QList<std::thread*> workers_;
};
