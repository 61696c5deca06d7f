#include "update/http/TransferEngine.h"

#include "socket/CSocketMaster.h"
#include "update/http/ServerConnection.h"

void TransferEngine::FetchText(CSocketMaster& socket, const QByteArray& server,
                               const QByteArray& path, QByteArray& text, EndHandler onEnd,
                               qsizetype limit) {
    response_.BeginText(text, limit);
    Start(socket, server, path, std::move(onEnd));
}

void TransferEngine::FetchFile(CSocketMaster& socket, const QByteArray& server,
                               const QByteArray& path, FileSink& file, EndHandler onEnd) {
    response_.BeginFile(file);
    Start(socket, server, path, std::move(onEnd));
}

void TransferEngine::Start(CSocketMaster& socket, const QByteArray& server, const QByteArray& path,
                           EndHandler onEnd) {
    socket_ = &socket;
    server_ = server;
    path_ = path;
    onEnd_ = std::move(onEnd);
    failure_ = {};
    phase_ = Phase::Connecting;
    if (onStart)
        onStart();
    std::unique_ptr<BodyCheck> check;
    TransferFailure failure = vetting ? vetting(path, check) : TransferFailure();
    if (!failure) {
        response_.SetBodyCheck(std::move(check));
        failure = ServerConnection::Connect(socket, server, response_);
    }
    if (failure)
        End(failure);
}

void TransferEngine::Connected() {
    if (phase_ != Phase::Connecting)
        return;
    phase_ = Phase::Receiving;
    ServerConnection::SendRequest(*socket_, server_, path_, response_);
}

void TransferEngine::Arrived() {
    if (!Running())
        return;
    QByteArray data;
    socket_->GetData(data);
    const TransferFailure failure = response_.TakeArrival(data);
    if (onArrival)
        onArrival();
    if (failure)
        End(failure);
    else if (response_.Complete())
        End({});
}

void TransferEngine::Closed(bool clean) {
    if (!Running())
        return;
    const TransferFailure failure = response_.TakeClose(clean);
    if (onArrival)
        onArrival();
    End(failure);
}

void TransferEngine::Errored(std::int16_t number, const QByteArray& description) {
    if (Running())
        End({TransferFailure::Kind::Connection,
             ServerConnection::ErrorReason(number, description, server_)});
}

void TransferEngine::Abort(const TransferFailure& failure) {
    if (Running())
        End(failure);
}

void TransferEngine::Cancel() {
    if (!Running())
        return;
    phase_ = Phase::Failed;
    failure_ = {TransferFailure::Kind::Busy, "The transfer was let go."};
    onEnd_ = nullptr;
    socket_->CloseSck();
}

void TransferEngine::End(const TransferFailure& failure) {
    phase_ = failure ? Phase::Failed : Phase::Complete;
    failure_ = failure;
    // Closed first: the handler may start the next fetch on the same socket.
    socket_->CloseSck();
    if (onStop)
        onStop();
    // The handler may start another fetch, which brings its own.
    const EndHandler onEnd = std::move(onEnd_);
    onEnd_ = nullptr;
    if (onEnd)
        onEnd(failure);
}
