// A connection that plays a script instead of a socket. Each Connect takes
// the next connection's script; its events (connected, data in the pieces
// given, a graceful close, a reset) are told one at a time from the event
// loop, each posted once the one before has been handled, as the socket
// service tells them, or one per Step when the test drives them. Everything
// the engine does to it is recorded in order.
#pragma once

#include "update/net/Connection.h"

#include <QByteArray>
#include <QList>
#include <QObject>

class TransferEngine;

class ScriptedConnection : public Connection {
public:
    struct Event {
        enum class Kind { Connected, Data, Closed, Reset, Refused };
        Kind kind;
        QByteArray data;
    };
    using Script = QList<Event>;
    static Event Connected() { return {Event::Kind::Connected, {}}; }
    static Event Data(const QByteArray& piece) { return {Event::Kind::Data, piece}; }
    static Event Closed() { return {Event::Kind::Closed, {}}; }
    static Event Reset() { return {Event::Kind::Reset, {}}; }
    static Event Refused() { return {Event::Kind::Refused, {}}; }
    // A 200 answer carrying `body`, its length announced.
    static QByteArray Ok(const QByteArray& body);

    enum class Delivery { Posted, Stepped };

    explicit ScriptedConnection(QList<Script> connections, Delivery delivery = Delivery::Posted);

    // Tells the connection's events to `engine`, as a window does.
    static void RouteTo(Connection& connection, TransferEngine& engine);

    void Connect(const QByteArray& host, std::int32_t port) override;
    bool IsConnected() const override { return connected_; }
    void Send(const QByteArray& bytes) override;
    QByteArray Receive() override;
    void Close() override;

    // Stepped: tells the next event of the current connection now; false
    // when none is due.
    bool Step();
    // Whether the current connection's script has been played to its end.
    bool Played() const { return next_ >= script_.size(); }

    // "connect host:port", "send <bytes>", "close", one line each, in order.
    const QList<QByteArray>& Log() const { return log_; }
    // The requests sent on each connection, the bytes as sent.
    const QList<QByteArray>& Sent() const { return sent_; }

private:
    void Post();
    void Deliver();

    QList<Script> connections_;
    Delivery delivery_;
    Script script_;
    qsizetype next_ = 0;
    qsizetype generation_ = 0; // events of an earlier connection are dropped
    bool connected_ = false;
    bool posted_ = false;
    QByteArray inbox_;
    QList<QByteArray> log_;
    QList<QByteArray> sent_;
    QObject context_;
};
