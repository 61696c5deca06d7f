// The sample server's connections: accepting, reading requests, streaming
// replies piece by piece as each socket drains, and closing idle connections.
#include "server/SampleServer.h"

#include "platform/runtime/RuntimeError.h"
#include "platform/runtime/Variant.h"
#include "platform/winsock/WinSock.h"
#include "socket/CSocketMaster.h"

#include <algorithm>

SampleServer::SampleServer(const QString& root, std::int32_t port) : responder_(root), port_(port) {
    clock_.start();
    QObject::connect(&idleTimer_, &QTimer::timeout, &idleTimer_, [this] { DropIdle(); });
}

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
    // Many clients at once overflow a queue of 5, and a dropped handshake
    // is retried only after a second or more.
    listener_->Backlog(ws::MAX_BACKLOG);
    listener_->Bind(Variant(port_), Variant("127.0.0.1"));
    listener_->Listen();
    IdleTimeout(idleTimeout_);
}

std::int32_t SampleServer::Port() const {
    return listener_ ? listener_->LocalPort() : port_;
}

qint64 SampleServer::HeldBytes() const {
    qint64 held = 0;
    for (const auto& [id, connection] : connections_)
        held += connection.pending.size() + connection.queued;
    return held;
}

void SampleServer::IdleTimeout(int milliseconds) {
    idleTimeout_ = std::max(milliseconds, 1);
    if (listener_)
        idleTimer_.start(std::max(idleTimeout_ / 4, 10));
}

void SampleServer::OnConnectionRequest(std::int32_t requestID) {
    const std::uint64_t id = nextId_++;
    Connection& connection = connections_[id];
    connection.socket = CSocketMaster::Create();
    connection.lastProgress = clock_.elapsed();
    CSocketMaster& socket = *connection.socket;
    // Handlers first: data that came before the accept is handed over by it.
    socket.onDataArrival = [this, id](std::int32_t) { OnDataArrival(id); };
    socket.onSendProgress = [this, id](std::int32_t, std::int32_t bytesRemaining) {
        const auto it = connections_.find(id);
        if (it != connections_.end()) {
            it->second.queued = bytesRemaining;
            it->second.lastProgress = clock_.elapsed();
        }
    };
    socket.onSendComplete = [this, id] {
        const auto it = connections_.find(id);
        if (it == connections_.end())
            return;
        it->second.queued = 0;
        Pump(id);
    };
    socket.onCloseSck = [this, id] { Drop(id); };
    socket.onError = [this, id](std::int16_t, QByteArray&, std::int32_t, const QByteArray&,
                                const QByteArray&, std::int32_t, bool&) { Drop(id); };
    try {
        socket.Accept(requestID);
    } catch (const RuntimeError&) {
        connections_.erase(id); // the request is closed by the listener; nothing to keep
        throw;
    }
}

void SampleServer::OnDataArrival(std::uint64_t id) {
    auto it = connections_.find(id);
    if (it == connections_.end())
        return;
    QByteArray data;
    it->second.socket->GetData(data);
    // After the last reply of a closing connection nothing more is read.
    if (!it->second.closeWhenSent)
        it->second.pending += data;
    Pump(id);
    it = connections_.find(id);
    if (it != connections_.end() && it->second.pending.size() > maxPending)
        Drop(id); // pipelining far ahead of what it reads
}

// Answers requests one after another: the next piece leaves only when the
// socket has sent the last one, the next request is looked at only when the
// previous reply is sent. Events raised while sending may call back in here
// or drop the connection; the loop looks the connection up again each time.
void SampleServer::Pump(std::uint64_t id) {
    auto it = connections_.find(id);
    if (it == connections_.end() || it->second.pumping)
        return;
    const std::shared_ptr<CSocketMaster> socket = it->second.socket;
    it->second.pumping = true;
    while (true) {
        it = connections_.find(id);
        if (it == connections_.end())
            return;
        Connection& connection = it->second;
        if (connection.queued > 0)
            break;
        if (!connection.reply) {
            if (connection.closeWhenSent) {
                Drop(id);
                return;
            }
            connection.reply = responder_.Take(connection.pending);
            if (!connection.reply)
                break;
            connection.lastProgress = clock_.elapsed();
            connection.closeWhenSent = !connection.reply->keepAlive;
        }
        if (!SendNextPiece(id, connection))
            return;
    }
    it->second.pumping = false;
}

bool SampleServer::SendNextPiece(std::uint64_t id, Connection& connection) {
    FileResponder::Reply& reply = *connection.reply;
    QByteArray piece = std::move(reply.head);
    reply.head.clear();
    const qint64 take = std::min(reply.length, pieceSize);
    if (take > 0) {
        const qsizetype at = piece.size();
        piece.resize(at + take);
        const bool first = at > 0;
        // A file that shrank or cannot be read cannot fill the announced
        // length: the client must not take what it got for the whole.
        if ((first && !reply.file->seek(reply.offset)) ||
            reply.file->read(piece.data() + at, take) != take) {
            Drop(id);
            return false;
        }
        reply.offset += take;
        reply.length -= take;
    }
    if (reply.length == 0 && !reply.NextSection())
        connection.reply.reset();
    if (connection.socket->State() != sckConnected) {
        Drop(id);
        return false;
    }
    connection.queued = piece.size();
    try {
        connection.socket->SendData(Variant::ByteArray(piece));
    } catch (const RuntimeError&) {
        Drop(id); // the socket refused: the reply cannot be delivered
        return false;
    }
    return connections_.contains(id);
}

void SampleServer::DropIdle() {
    const qint64 now = clock_.elapsed();
    for (auto it = connections_.begin(); it != connections_.end();) {
        const std::uint64_t id = it->first;
        const bool idle = now - it->second.lastProgress > idleTimeout_;
        ++it; // Drop erases only this connection
        if (idle)
            Drop(id);
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
