#include "update/net/TransferEngine.h"

#include "socket/CSocketMaster.h"
#include "update/net/CallOnce.h"

namespace {

// What a plain request names a server by: the entry as the user wrote it,
// so one plain server is asked exactly as before mirrors and schemes.
QByteArray WrittenHost(QByteArray entry) {
    entry = entry.trimmed();
    if (entry.toLower().startsWith("http://"))
        entry.remove(0, 7);
    if (entry.endsWith('/'))
        entry.chop(1);
    return entry;
}

// Failures another mirror may not have.
bool MirrorMayHelp(TransferFailure::Kind kind) {
    using Kind = TransferFailure::Kind;
    return kind == Kind::Connection || kind == Kind::Tls || kind == Kind::ServerError ||
           kind == Kind::Stalled || kind == Kind::Slow;
}

} // namespace

TransferEngine::TransferEngine() {
    clock_.start();
    QObject::connect(&floorTimer_, &QTimer::timeout, [this] { CheckRate(); });
}

void TransferEngine::FetchText(CSocketMaster& socket, const QByteArray& server,
                               const QByteArray& path, QByteArray& text, EndHandler onEnd,
                               qsizetype limit) {
    response_.BeginText(text, limit);
    Start(socket, server, path, std::move(onEnd));
}

void TransferEngine::FetchFile(CSocketMaster& socket, const QByteArray& server,
                               const QByteArray& path, FileSink& file, EndHandler onEnd) {
    response_.BeginFile(file);
    Start(socket, server, path, std::move(onEnd), file.TakesWholeFile());
}

void TransferEngine::FirstServerNext() {
    mirror_ = 0;
}

bool TransferEngine::MoveToNextServer() {
    if (triedEveryServer_ || mirror_ + 1 >= mirrors_.size())
        return false;
    ++mirror_;
    if (onNextServer)
        onNextServer(mirrors_[mirror_].address.DisplayName());
    return true;
}

void TransferEngine::Start(CSocketMaster& socket, const QByteArray& server, const QByteArray& path,
                           EndHandler onEnd, bool judgedWhole) {
    socket_ = &socket;
    path_ = path;
    onEnd_ = std::move(onEnd);
    failure_ = {};
    firstFailure_ = {};
    triedEveryServer_ = false;
    phase_ = Phase::Connecting;
    ReadServers(server);
    firstMirror_ = mirror_;
    if (onStart)
        onStart();
    std::unique_ptr<BodyCheck> check;
    if (TransferFailure refused = vetting ? vetting(path, check) : TransferFailure()) {
        redirect_.reset();
        End(refused);
        return;
    }
    if (judgedWhole)
        response_.SetBodyCheck(std::move(check));
    if (mirrors_.isEmpty()) {
        redirect_.reset();
        End({TransferFailure::Kind::Connection, mirrorsProblem_});
        return;
    }
    Connect();
}

void TransferEngine::ReadServers(const QByteArray& server) {
    if (server == serverText_ && (!mirrors_.isEmpty() || !mirrorsProblem_.isEmpty()))
        return;
    serverText_ = server;
    mirrors_.clear();
    mirrorsProblem_.clear();
    mirror_ = 0;
    const QList<QByteArray> entries = server.split(',');
    const QList<ServerAddress> addresses = ServerAddress::ParseList(server, mirrorsProblem_);
    for (qsizetype i = 0; i < addresses.size(); ++i)
        mirrors_.append({addresses[i], WrittenHost(entries[i])});
}

void TransferEngine::Connect() {
    const Mirror& mirror = mirrors_[mirror_];
    redirect_.emplace(mirror.address, path_);
    Reconnect(mirror.written);
}

void TransferEngine::Reconnect(const QByteArray& host) {
    phase_ = Phase::Connecting;
    floor_.Reset();
    floorTimer_.stop();
    if (TransferFailure failure =
            connection_.Connect(*socket_, redirect_->server(), host, response_))
        Fail(failure);
}

void TransferEngine::Connected() {
    if (phase_ != Phase::Connecting)
        return;
    phase_ = Phase::Receiving;
    if (TransferFailure failure = connection_.Connected(redirect_->path(), response_))
        Fail(failure);
}

void TransferEngine::Arrived() {
    if (!Running())
        return;
    QByteArray answer;
    const TransferFailure broken = connection_.Arrived(answer);
    const TransferFailure failure = response_.TakeArrival(answer);
    if (Redirected(failure))
        return;
    if (!answer.isEmpty()) {
        floor_.Took(answer.size(), clock_.elapsed());
        if (!floorTimer_.isActive())
            floorTimer_.start(int(qMax<std::int64_t>(10, RateFloor::windowMs / 10)));
    }
    if (onArrival)
        onArrival();
    if (failure)
        Fail(failure);
    else if (response_.Complete())
        End({});
    else if (broken)
        Fail(broken);
    else if (connection_.GoodbyeReceived())
        Closed(); // a server may wait for our goodbye before it closes
}

// A redirect ends in the reader as a status it cannot use; the fetch goes on
// at the address it names, or ends for the reason it cannot.
bool TransferEngine::Redirected(const TransferFailure& failure) {
    const HttpResponseReader& reader = response_.Response();
    if (failure.kind != TransferFailure::Kind::Status ||
        !RedirectPolicy::IsRedirect(reader.StatusCode()))
        return false;
    const QByteArray problem = redirect_->Follow(reader.Header("location"));
    if (!problem.isEmpty()) {
        End({TransferFailure::Kind::Status, problem});
        return true;
    }
    response_.Restart();
    Reconnect(redirect_->server().HostHeader());
    return true;
}

void TransferEngine::CheckRate() {
    if (Running() && floor_.TooSlow(clock_.elapsed()))
        Fail({TransferFailure::Kind::Slow, "The server sends too slowly."});
}

void TransferEngine::Closed() {
    if (!Running())
        return;
    if (const TransferFailure broken = connection_.Closed()) {
        Fail(broken);
        return;
    }
    // A body framed by the close ends here, unless TLS cannot vouch for it.
    const TransferFailure failure = response_.TakeClose(connection_.ClosedCleanly());
    if (onArrival)
        onArrival();
    if (failure)
        Fail(failure);
    else
        End({});
}

void TransferEngine::Errored(std::int16_t number, const QByteArray& description) {
    if (Running())
        Fail({TransferFailure::Kind::Connection,
              ServerConnection::ErrorReason(number, description, redirect_->server().host())});
}

void TransferEngine::Abort(const TransferFailure& failure) {
    if (Running())
        Fail(failure);
}

void TransferEngine::Cancel() {
    if (!Running())
        return;
    phase_ = Phase::Failed;
    failure_ = {TransferFailure::Kind::Busy, "The transfer was let go."};
    onEnd_ = nullptr;
    floorTimer_.stop();
    connection_.Close();
}

// Names the address a redirected fetch failed at, and moves on to the next
// mirror when another may do better. A file is tried elsewhere only while
// its sink has seen no answer.
void TransferEngine::Fail(TransferFailure failure) {
    if (redirect_ && redirect_->hops() > 0)
        failure.text += " (" + redirect_->Url() + ")";
    const HttpResponseReader& reader = response_.Response();
    const bool sinkUntouched = !response_.ReceivingFile() || !reader.HeadComplete() ||
                               failure.kind == TransferFailure::Kind::ServerError;
    if (mirrors_.size() > 1 && MirrorMayHelp(failure.kind) && sinkUntouched) {
        if (!firstFailure_)
            firstFailure_ = failure;
        const qsizetype next = (mirror_ + 1) % mirrors_.size();
        if (next != firstMirror_) {
            mirror_ = next;
            if (onNextServer)
                onNextServer(mirrors_[mirror_].address.DisplayName());
            // A new server gets the whole of every wait.
            if (onStart)
                onStart();
            response_.Restart();
            Connect();
            return;
        }
        mirror_ = firstMirror_;
        triedEveryServer_ = true;
        failure = firstFailure_.OnEvery(mirrors_.size());
    }
    End(failure);
}

void TransferEngine::End(const TransferFailure& failure) {
    phase_ = failure ? Phase::Failed : Phase::Complete;
    failure_ = failure;
    floorTimer_.stop();
    // Closed first: the handler may start the next fetch on the same socket.
    connection_.Close();
    if (onStop)
        onStop();
    CallOnce(onEnd_, failure);
}
