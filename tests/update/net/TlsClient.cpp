#include "TlsClient.h"

#include "platform/runtime/Events.h"
#include "platform/runtime/Variant.h"
#include "socket/CSocketMaster.h"

#include <QDeadlineTimer>
#include <QTimer>
#include <memory>

TlsExchange FetchOverTls(std::uint16_t port, const QByteArray& host, const QByteArray& path) {
    TlsExchange exchange;
    bool ended = false;
    const std::shared_ptr<CSocketMaster> socket = CSocketMaster::Create();
    TlsSession session(host);
    session.Write("GET " + path + " HTTP/1.1\r\nHost: " + host + ':' + QByteArray::number(port) +
                  "\r\nConnection: close\r\n\r\n");

    // Also ends the exchange once the session has failed or been told goodbye.
    const auto take = [&](const QByteArray& ciphertext) {
        exchange.response += session.Feed(ciphertext);
        const QByteArray outgoing = session.TakeOutgoing();
        if (!outgoing.isEmpty() && socket->State() == sckConnected)
            socket->SendData(Variant(outgoing));
        ended = ended || session.failure() != TlsSession::Failure::None || session.ClosedCleanly();
    };
    socket->onConnect = [&] { take({}); };
    socket->onDataArrival = [&](std::int32_t) {
        QByteArray data;
        socket->GetData(data);
        take(data);
    };
    socket->onCloseSck = [&] {
        session.ConnectionClosed();
        ended = true;
    };
    socket->onError = [&](std::int16_t, QByteArray& description, std::int32_t, const QByteArray&,
                          const QByteArray&, std::int32_t, bool&) {
        exchange.reason = description;
        ended = true;
    };
    socket->Connect(Variant("127.0.0.1"), Variant(std::int32_t(port)));

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
    exchange.closedCleanly = session.ClosedCleanly();
    if (!session.FailureReason().isEmpty())
        exchange.reason = session.FailureReason();
    return exchange;
}
