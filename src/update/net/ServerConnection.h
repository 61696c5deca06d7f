// One connection of a transfer on its connection: to the update server
// or the environment's proxy for it, through a CONNECT tunnel and a TLS
// session for an https server. It sends the request and turns what arrives
// into the answer's bytes; the engine reads them.
#pragma once

#include "update/net/Connection.h"
#include "update/net/ProxyTunnel.h"
#include "update/net/ResponseGathering.h"
#include "update/net/ServerAddress.h"
#include "update/net/TlsSession.h"

#include <QByteArray>
#include <memory>

class ServerConnection {
public:
    // Closes whatever the connection held and connects it to `server`, or to the
    // proxy the environment names for it. `host` is what a plain request
    // names the server by (as the user wrote it). Answers why that cannot be
    // done, or no failure.
    TransferFailure Connect(Connection& connection, const ServerAddress& server,
                            const QByteArray& host, ResponseGathering& response);

    // The Connect event: sends the request for `path` with its extra lines
    // `headers` (a resumed archive's range, the proxy's login), or first
    // asks the proxy for a tunnel. Answers why the connection cannot go on.
    TransferFailure Connected(const QByteArray& path, const QByteArray& headers);
    // Sends a further request on the connection once it carries answers.
    void SendRequest(const QByteArray& path, const QByteArray& headers);
    // The DataArrival event: `answer` gets the server's bytes that arrived,
    // also those before a failure in the same arrival. Answers why the
    // connection cannot go on (TLS, the tunnel), or no failure.
    TransferFailure Arrived(QByteArray& answer);
    // The CloseSck event: answers the TLS session's or the tunnel's reason
    // when the connection failed for one, or no failure.
    TransferFailure Closed();
    // Whether the server's close can end a body: over TLS only with its close alert.
    bool ClosedCleanly() const { return !tls_ || tls_->ClosedCleanly(); }
    // True once the TLS server has said goodbye (close_notify), whether or
    // not it has closed the connection yet.
    bool GoodbyeReceived() const { return tls_ && tls_->ClosedCleanly(); }
    // Ends the connection, saying goodbye over TLS first.
    void Close();

    // The reason a socket error gives for a transfer to the server `host`.
    static QByteArray ErrorReason(std::int16_t number, const QByteArray& description,
                                  const QByteArray& host);

private:
    TransferFailure StartTls(const QByteArray& first, QByteArray& answer);
    void Send(const QByteArray& bytes);
    TransferFailure TlsFailure() const;

    Connection* connection_ = nullptr;
    ServerAddress server_;
    QByteArray host_;
    QByteArray request_; // the request, until it goes out
    QByteArray tunnelLogin_;
    std::unique_ptr<ProxyTunnel> tunnel_;
    std::unique_ptr<TlsSession> tls_;
};
