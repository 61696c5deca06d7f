#include "server/SampleServer.h"

#include "platform/runtime/Variant.h"
#include "socket/CSocketMaster.h"

SampleServer::SampleServer(const QString& root, std::int32_t port)
    : responder_(root), port_(port) {}

SampleServer::~SampleServer() {
    for (auto& [id, connection] : connections_)
        connection.socket->CloseSck();
    if (listener_)
        listener_->CloseSck();
}

void SampleServer::Start() {
    listener_ = CSocketMaster::Create();
    listener_->onConnectionRequest = [this](std::int32_t requestID) {
        OnConnectionRequest(requestID);
    };
    listener_->Bind(Variant(port_), Variant("127.0.0.1"));
    listener_->Listen();
}

std::int32_t SampleServer::Port() const {
    return listener_ ? listener_->LocalPort() : port_;
}

void SampleServer::OnConnectionRequest(std::int32_t requestID) {
    const std::uint64_t id = nextId_++;
    Connection& connection = connections_[id];
    connection.socket = CSocketMaster::Create();
    CSocketMaster& socket = *connection.socket;
    // Handlers first: data that came before the accept is handed over by it.
    socket.onDataArrival = [this, id](std::int32_t) { OnDataArrival(id); };
    socket.onSendComplete = [this, id] {
        const auto it = connections_.find(id);
        if (it != connections_.end() && it->second.closeWhenSent)
            Drop(id);
    };
    socket.onCloseSck = [this, id] { Drop(id); };
    socket.onError = [this, id](std::int16_t, QByteArray&, std::int32_t, const QByteArray&,
                                const QByteArray&, std::int32_t, bool&) { Drop(id); };
    socket.Accept(requestID);
}

void SampleServer::OnDataArrival(std::uint64_t id) {
    const auto it = connections_.find(id);
    if (it == connections_.end())
        return;
    Connection& connection = it->second;
    // Keep the socket while sending: a failing send drops the connection.
    const std::shared_ptr<CSocketMaster> socket = connection.socket;
    QByteArray data;
    socket->GetData(data);
    connection.pending += data;
    const QList<FileResponder::Reply> replies = responder_.Take(connection.pending);
    for (const FileResponder::Reply& reply : replies) {
        if (!reply.keepAlive)
            connection.closeWhenSent = true;
        socket->SendData(Variant::ByteArray(reply.bytes));
        if (!connections_.contains(id) || socket->State() != sckConnected)
            return;
        if (connection.closeWhenSent)
            break;
    }
}

void SampleServer::Drop(std::uint64_t id) {
    const auto it = connections_.find(id);
    if (it == connections_.end())
        return;
    const std::shared_ptr<CSocketMaster> socket = std::move(it->second.socket);
    connections_.erase(it);
    socket->CloseSck();
}
