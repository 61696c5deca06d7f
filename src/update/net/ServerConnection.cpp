#include "update/net/ServerConnection.h"

#include "platform/runtime/RuntimeError.h"
#include "platform/winsock/WinSock.h"
#include "update/net/HttpRequest.h"
#include "update/net/ProxySettings.h"

namespace {

TransferFailure NoConnection(QByteArray why) {
    return {TransferFailure::Kind::Connection, std::move(why)};
}

bool Secure(const ServerAddress& server) {
    return server.scheme() == ServerAddress::Scheme::Https;
}

} // namespace

TransferFailure ServerConnection::Connect(Connection& connection, const ServerAddress& server,
                                          const QByteArray& host, ResponseGathering& response) {
    connection.Close();
    connection_ = &connection;
    server_ = server;
    host_ = host;
    tunnel_.reset();
    tls_.reset();
    if (!server.valid())
        return NoConnection("The server address " + host + " has no valid port.");
    const ProxySettings::Route route =
        ProxySettings::FromProcessEnvironment(Secure(server) ? ProxySettings::ServerScheme::Https
                                                             : ProxySettings::ServerScheme::Http)
            .RouteFor(server.host(), server.port());
    if (!route.problem.isEmpty())
        return NoConnection(route.problem);
    // A plain request goes the way the connection went: the proxy's login
    // with it. An https server's login goes with the tunnel's request only.
    const QByteArray login = route.viaProxy && !route.authorization.isEmpty()
                                 ? "Proxy-Authorization: " + route.authorization + "\r\n"
                                 : QByteArray();
    response.SetProxyLogin(Secure(server) ? QByteArray() : login);
    if (route.viaProxy && Secure(server))
        tunnel_ = std::make_unique<ProxyTunnel>(server.host(), server.port(), route.authorization);
    try {
        connection.Connect(route.host, std::int32_t(route.port));
    } catch (const RuntimeError& e) {
        return NoConnection(e.Description());
    }
    return {};
}

TransferFailure ServerConnection::Connected(const QByteArray& path, const QByteArray& headers) {
    if (!Secure(server_)) {
        SendRequest(path, headers);
        return {};
    }
    request_ = HttpRequest::OriginRequestText(server_.HostHeader(), path, headers);
    if (tunnel_) {
        Send(tunnel_->Request());
        return {};
    }
    QByteArray nothing;
    return StartTls({}, nothing);
}

void ServerConnection::SendRequest(const QByteArray& path, const QByteArray& headers) {
    if (!tls_) {
        // The request line and Host stay the server's, through a proxy too.
        Send(HttpRequest::RequestText(host_, path, headers));
        return;
    }
    tls_->Write(HttpRequest::OriginRequestText(server_.HostHeader(), path, headers));
    Send(tls_->TakeOutgoing());
}

TransferFailure ServerConnection::StartTls(const QByteArray& first, QByteArray& answer) {
    try {
        tls_ = std::make_unique<TlsSession>(server_.host());
    } catch (const RuntimeError& e) {
        return {TransferFailure::Kind::Tls, e.Description()};
    }
    // Held by the session until the handshake is done.
    tls_->Write(request_);
    answer += tls_->Feed(first);
    Send(tls_->TakeOutgoing());
    return TlsFailure();
}

TransferFailure ServerConnection::Arrived(QByteArray& answer) {
    QByteArray data = connection_->Receive();
    if (tls_) {
        answer = tls_->Feed(data);
        Send(tls_->TakeOutgoing());
        return TlsFailure();
    }
    if (!tunnel_) {
        answer = std::move(data);
        return {};
    }
    switch (tunnel_->Feed(data)) {
    case ProxyTunnel::State::Open:
        return StartTls(tunnel_->TakeTunnelBytes(), answer);
    case ProxyTunnel::State::Refused:
        return NoConnection(tunnel_->FailureReason());
    case ProxyTunnel::State::Waiting:
        break;
    }
    return {};
}

TransferFailure ServerConnection::Closed() {
    if (tls_) {
        tls_->ConnectionClosed();
        return TlsFailure();
    }
    if (tunnel_ && tunnel_->state() != ProxyTunnel::State::Open) {
        tunnel_->ConnectionClosed();
        return NoConnection(tunnel_->FailureReason());
    }
    return {};
}

void ServerConnection::Close() {
    if (tls_ && tls_->HandshakeDone() && tls_->failure() == TlsSession::Failure::None) {
        tls_->Close();
        Send(tls_->TakeOutgoing());
    }
    if (connection_)
        connection_->Close();
}

void ServerConnection::Send(const QByteArray& bytes) {
    if (!bytes.isEmpty() && connection_->IsConnected())
        connection_->Send(bytes);
}

TransferFailure ServerConnection::TlsFailure() const {
    if (tls_->failure() == TlsSession::Failure::None)
        return {};
    return {TransferFailure::Kind::Tls, tls_->FailureReason()};
}

QByteArray ServerConnection::ErrorReason(std::int16_t number, const QByteArray& description,
                                         const QByteArray& host) {
    // The socket's texts for a failed lookup do not say what was looked up.
    const bool lookupFailed = number >= ws::WSAHOST_NOT_FOUND && number <= ws::WSANO_DATA;
    if (!lookupFailed)
        return description;
    return "Cannot find the update server " + host + " (" + description + ")";
}
