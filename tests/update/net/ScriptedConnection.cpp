#include "update/net/ScriptedConnection.h"

#include "platform/winsock/WinSock.h"
#include "socket/modSocketMaster.h"
#include "update/net/TransferEngine.h"

#include <QMetaObject>

namespace {

// With the socket service's own texts, so failures read as they do in use.
void Fail(Connection& connection, std::int32_t code) {
    if (connection.onError)
        connection.onError(std::int16_t(code), modSocketMaster::GetErrorDescription(code));
}

} // namespace

ScriptedConnection::ScriptedConnection(QList<Script> connections, Delivery delivery)
    : connections_(std::move(connections)), delivery_(delivery) {}

QByteArray ScriptedConnection::Ok(const QByteArray& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
           body;
}

void ScriptedConnection::RouteTo(Connection& connection, TransferEngine& engine) {
    connection.onConnect = [&engine] { engine.Connected(); };
    connection.onDataArrival = [&engine](std::int32_t) { engine.Arrived(); };
    connection.onCloseSck = [&engine] { engine.Closed(); };
    connection.onError = [&engine](std::int16_t number, const QByteArray& description) {
        engine.Errored(number, description);
    };
}

void ScriptedConnection::Connect(const QByteArray& host, std::int32_t port) {
    log_.append("connect " + host + ':' + QByteArray::number(port));
    ++generation_;
    connected_ = false;
    inbox_.clear();
    next_ = 0;
    // A connection beyond the script is refused.
    script_ = connections_.isEmpty() ? Script{Refused()} : connections_.takeFirst();
    sent_.append(QByteArray());
    Post();
}

void ScriptedConnection::Send(const QByteArray& bytes) {
    log_.append("send " + bytes);
    if (!sent_.isEmpty())
        sent_.last() += bytes;
}

QByteArray ScriptedConnection::Receive() {
    return std::exchange(inbox_, {});
}

void ScriptedConnection::Close() {
    if (!connected_ && Played())
        return;
    log_.append("close");
    connected_ = false;
    ++generation_;
    next_ = script_.size();
}

bool ScriptedConnection::Step() {
    if (Played())
        return false;
    Deliver();
    return true;
}

void ScriptedConnection::Post() {
    if (delivery_ != Delivery::Posted || Played() || posted_)
        return;
    posted_ = true;
    const qsizetype generation = generation_;
    QMetaObject::invokeMethod(
        &context_,
        [this, generation] {
            posted_ = false;
            if (generation == generation_)
                Deliver();
            Post();
        },
        Qt::QueuedConnection);
}

void ScriptedConnection::Deliver() {
    const Event event = script_[next_++];
    switch (event.kind) {
    case Event::Kind::Connected:
        connected_ = true;
        if (onConnect)
            onConnect();
        break;
    case Event::Kind::Data:
        inbox_ += event.data;
        if (onDataArrival)
            onDataArrival(std::int32_t(inbox_.size()));
        break;
    case Event::Kind::Closed:
        connected_ = false;
        if (onCloseSck)
            onCloseSck();
        break;
    case Event::Kind::Reset:
        connected_ = false;
        Fail(*this, ws::WSAECONNRESET);
        break;
    case Event::Kind::Refused:
        connected_ = false;
        Fail(*this, ws::WSAECONNREFUSED);
        break;
    }
}
