// A connection on a socket object: the one every transfer uses, TLS and
// proxies included, which ride it.
#pragma once

#include "update/net/Connection.h"

#include <memory>

class CSocketMaster;

class SocketConnection : public Connection {
public:
    SocketConnection();
    ~SocketConnection() override;

    // A window's connection for its transfers, its events routed to the
    // window's handlers. A failure goes to the error handler with its number
    // and text; the window reports it where the user looks, so no message box
    // is asked for.
    template <class Window>
    static std::shared_ptr<Connection>
    Create(Window& window, void (Window::*onConnected)(), void (Window::*onData)(std::int32_t),
           void (Window::*onClosed)(), void (Window::*onFailed)(std::int16_t, const QByteArray&)) {
        auto connection = std::make_shared<SocketConnection>();
        connection->onConnect = [&window, onConnected] { (window.*onConnected)(); };
        connection->onDataArrival = [&window, onData](std::int32_t bytesTotal) {
            (window.*onData)(bytesTotal);
        };
        connection->onCloseSck = [&window, onClosed] { (window.*onClosed)(); };
        connection->onError = [&window, onFailed](std::int16_t number,
                                                  const QByteArray& description) {
            (window.*onFailed)(number, description);
        };
        return connection;
    }

    void Connect(const QByteArray& host, std::int32_t port) override;
    bool IsConnected() const override;
    void Send(const QByteArray& bytes) override;
    QByteArray Receive() override;
    void Close() override;

private:
    std::shared_ptr<CSocketMaster> socket_;
};
