#include "TlsClient.h"

#include "platform/runtime/Events.h"
#include "platform/runtime/Variant.h"
#include "socket/CSocketMaster.h"

#include <QDeadlineTimer>
#include <QTimer>
#include <memory>

TlsExchange FetchOverTls(std::uint16_t port, const QByteArray& host, const QByteArray& path,
                         std::optional<std::uint16_t> proxyPort,
                         const QByteArray& proxyAuthorization) {
    TlsExchange exchange;
    bool ended = false;
    const std::shared_ptr<CSocketMaster> socket = CSocketMaster::Create();
    std::unique_ptr<TlsSession> session;
    std::optional<ProxyTunnel> tunnel;
    if (proxyPort)
        tunnel.emplace(host, port, proxyAuthorization);

    const auto send = [&](const QByteArray& bytes) {
        if (!bytes.isEmpty() && socket->State() == sckConnected)
            socket->SendData(Variant(bytes));
    };
    // Also ends the exchange once the session has failed or been told goodbye.
    const auto take = [&](const QByteArray& ciphertext) {
        exchange.response += session->Feed(ciphertext);
        send(session->TakeOutgoing());
        ended =
            ended || session->failure() != TlsSession::Failure::None || session->ClosedCleanly();
    };
    const auto startTls = [&](const QByteArray& first) {
        session = std::make_unique<TlsSession>(host);
        session->Write("GET " + path + " HTTP/1.1\r\nHost: " + host + ':' +
                       QByteArray::number(port) + "\r\nConnection: close\r\n\r\n");
        take(first);
    };
    socket->onConnect = [&] {
        if (tunnel)
            send(tunnel->Request());
        else
            startTls({});
    };
    socket->onDataArrival = [&](std::int32_t) {
        QByteArray data;
        socket->GetData(data);
        if (session) {
            take(data);
        } else if (tunnel->Feed(data) == ProxyTunnel::State::Open) {
            startTls(tunnel->TakeTunnelBytes());
        } else {
            ended = tunnel->state() == ProxyTunnel::State::Refused;
        }
    };
    socket->onCloseSck = [&] {
        if (session)
            session->ConnectionClosed();
        else if (tunnel)
            tunnel->ConnectionClosed();
        ended = true;
    };
    socket->onError = [&](std::int16_t, QByteArray& description, std::int32_t, const QByteArray&,
                          const QByteArray&, std::int32_t, bool&) {
        exchange.reason = description;
        ended = true;
    };
    socket->Connect(Variant("127.0.0.1"), Variant(std::int32_t(proxyPort.value_or(port))));

    QDeadlineTimer deadline(10000);
    QTimer tick; // wakes the loop, so the deadline is seen without any other event
    tick.start(10);
    WaitUntil([&] { return ended || deadline.hasExpired(); });
    if (!ended)
        exchange.reason = "no end within 10 s";
    socket->CloseSck();
    socket->onCloseSck = nullptr;
    socket->onConnect = nullptr;
    socket->onDataArrival = nullptr;
    socket->onError = nullptr;
    if (session) {
        exchange.failure = session->failure();
        exchange.closedCleanly = session->ClosedCleanly();
        if (!session->FailureReason().isEmpty())
            exchange.reason = session->FailureReason();
    }
    if (tunnel && tunnel->state() == ProxyTunnel::State::Refused)
        exchange.reason = tunnel->FailureReason();
    return exchange;
}
