// What the transfer engine needs of a connection: connect, send, take what
// arrived, close, and the events between. The socket object's connection is
// the one in use; tests script one. Events are told from the event loop,
// never from inside one of these calls, as the socket service tells them.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <functional>

class Connection {
public:
    virtual ~Connection();

    std::function<void()> onConnect;
    // Bytes wait to be taken by Receive.
    std::function<void(std::int32_t bytesTotal)> onDataArrival;
    // The other side closed, gracefully.
    std::function<void()> onCloseSck;
    // The connection failed: a lookup, a refusal, a reset.
    std::function<void(std::int16_t number, const QByteArray& description)> onError;

    // Throws RuntimeError when the connection cannot even be tried.
    virtual void Connect(const QByteArray& host, std::int32_t port) = 0;
    virtual bool IsConnected() const = 0;
    virtual void Send(const QByteArray& bytes) = 0;
    // Everything that has arrived and not yet been taken.
    virtual QByteArray Receive() = 0;
    virtual void Close() = 0;
};
