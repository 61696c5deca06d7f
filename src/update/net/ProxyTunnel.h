// A CONNECT tunnel through an HTTP proxy to an https server: the request
// that asks for it, and the proxy's answer read as it arrives. Once the
// tunnel is open the bytes after the answer belong to the TLS session.
#pragma once

#include <QByteArray>

class ProxyTunnel {
public:
    enum class State { Waiting, Open, Refused };

    // `authorization` is "Basic …" for Proxy-Authorization, or empty.
    ProxyTunnel(const QByteArray& host, int port, const QByteArray& authorization);

    // The CONNECT request to send once connected to the proxy.
    QByteArray Request() const;
    // Takes bytes from the proxy; answers the state after them.
    State Feed(const QByteArray& bytes);
    // The proxy ended the connection.
    void ConnectionClosed();

    State state() const { return state_; }
    // Bytes that arrived after the answer: the server's first TLS bytes.
    QByteArray TakeTunnelBytes();
    // Why the tunnel is not open: the proxy's status line, or what went wrong.
    const QByteArray& FailureReason() const { return failureReason_; }

private:
    void Refuse(const QByteArray& reason);

    QByteArray hostAndPort_;
    QByteArray authorization_;
    QByteArray received_;
    State state_ = State::Waiting;
    QByteArray failureReason_;
};
