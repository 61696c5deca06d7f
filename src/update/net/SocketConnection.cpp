#include "update/net/SocketConnection.h"

#include "platform/runtime/Variant.h"
#include "socket/CSocketMaster.h"

SocketConnection::SocketConnection() : socket_(CSocketMaster::Create()) {
    socket_->onConnect = [this] {
        if (onConnect)
            onConnect();
    };
    socket_->onDataArrival = [this](std::int32_t bytesTotal) {
        if (onDataArrival)
            onDataArrival(bytesTotal);
    };
    socket_->onCloseSck = [this] {
        if (onCloseSck)
            onCloseSck();
    };
    socket_->onError = [this](std::int16_t number, QByteArray& description, std::int32_t,
                              const QByteArray&, const QByteArray&, std::int32_t, bool&) {
        if (onError)
            onError(number, description);
    };
}

SocketConnection::~SocketConnection() {
    // Events already posted find no handler.
    socket_->onConnect = nullptr;
    socket_->onDataArrival = nullptr;
    socket_->onCloseSck = nullptr;
    socket_->onError = nullptr;
}

void SocketConnection::Connect(const QByteArray& host, std::int32_t port) {
    socket_->Connect(Variant(host), Variant(port));
}

bool SocketConnection::IsConnected() const {
    return socket_->State() == sckConnected;
}

void SocketConnection::Send(const QByteArray& bytes) {
    socket_->SendData(Variant(bytes));
}

QByteArray SocketConnection::Receive() {
    QByteArray data;
    socket_->GetData(data);
    return data;
}

void SocketConnection::Close() {
    socket_->CloseSck();
}
