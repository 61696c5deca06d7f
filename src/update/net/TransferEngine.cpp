#include "update/net/TransferEngine.h"

#include "update/net/CallOnce.h"
#include "update/net/FailureReason.h"

TransferEngine::TransferEngine() {
    clock_.start();
    QObject::connect(&floorTimer_, &QTimer::timeout, [this] { CheckRate(); });
}

void TransferEngine::FetchText(Connection& connection, const QByteArray& server,
                               const QByteArray& path, QByteArray& text, EndHandler onEnd,
                               const Options& options) {
    response_.BeginText(text, options.limit);
    Start(connection, server, path, std::move(onEnd), options, true);
}

void TransferEngine::FetchFile(Connection& connection, const QByteArray& server,
                               const QByteArray& path, FileSink& file, EndHandler onEnd,
                               const Options& options) {
    response_.BeginFile(file);
    Start(connection, server, path, std::move(onEnd), options, file.TakesWholeFile());
}

bool TransferEngine::MoveOn(TransferFailure& failure) {
    if (!mirrors_.MoveOn(failure, options_.moveOn))
        return false;
    if (onNextServer)
        onNextServer(mirrors_.Current().written);
    return true;
}

void TransferEngine::Start(Connection& connection, const QByteArray& server, const QByteArray& path,
                           EndHandler onEnd, const Options& options, bool judgedWhole) {
    link_ = &connection;
    path_ = path;
    onEnd_ = std::move(onEnd);
    options_ = options;
    judgedWhole_ = judgedWhole;
    resentCut_ = false;
    depth_ = pipelineDepth;
    phase_ = Phase::Connecting;
    mirrors_.Use(server);
    TransferFailure failed;
    if (!options.continues)
        failed = mirrors_.BeginRequest();
    if (onStart)
        onStart();
    std::unique_ptr<BodyCheck> check;
    if (!failed && options.vetting)
        failed = options.vetting(path, check);
    if (!failed && !mirrors_.Usable())
        failed = {TransferFailure::Kind::Connection, mirrors_.Problem()};
    if (failed) {
        redirect_.reset();
        End(failed);
        return;
    }
    Attempt(std::move(check));
}

void TransferEngine::Attempt(std::unique_ptr<BodyCheck> check) {
    response_.SetFetched(check != nullptr ? NotFoundRule::Fetched::Signed : options_.fetched);
    if (judgedWhole_)
        response_.SetBodyCheck(std::move(check));
    Connect();
}

void TransferEngine::Connect() {
    const MirrorPolicy::Mirror& mirror = mirrors_.Current();
    redirect_.emplace(mirror.address, path_);
    Reconnect(mirror.written);
}

void TransferEngine::Reconnect(const QByteArray& host) {
    phase_ = Phase::Connecting;
    host_ = host;
    sent_ = connectionFirst_ = response_.Answer();
    floor_.Reset();
    floorTimer_.stop();
    if (onConnecting)
        onConnecting();
    if (TransferFailure failure = connection_.Connect(*link_, redirect_->server(), host, response_))
        Fail(failure);
}

void TransferEngine::Connected() {
    if (phase_ != Phase::Connecting)
        return;
    phase_ = Phase::Receiving;
    if (TransferFailure failure =
            connection_.Connected(redirect_->path(), response_.RequestHeaders(sent_++)))
        Fail(failure);
}

// Further requests go once the connection has carried an answer's bytes,
// so a tunnel and TLS are up.
void TransferEngine::SendAhead() {
    if (response_.Response().Received() == 0 && response_.Answer() == connectionFirst_)
        return;
    // A send may fail at once, and the failure begin a new connection.
    while (phase_ == Phase::Receiving && sent_ < response_.Answers() &&
           sent_ - response_.Answer() < depth_)
        connection_.SendRequest(redirect_->path(), response_.RequestHeaders(sent_++));
}

// A server or proxy that closes between answers leaves the rest unanswered:
// they go again on a new connection, as long as each connection answers one.
// An answer cut while later requests were out may have been cut by them (a
// server that closes with requests unread resets the connection): it is
// asked again, once.
bool TransferEngine::Resend() {
    const bool answeredHere = response_.Answer() > connectionFirst_;
    const bool cut = response_.Response().Received() > 0;
    if (answeredHere)
        resentCut_ = false;
    if (cut ? sent_ <= response_.Answer() + 1 || std::exchange(resentCut_, true) : !answeredHere)
        return false;
    if (cut)
        response_.Restart();
    depth_ = 1; // a server that closes is asked one request per connection
    Reconnect(host_);
    return true;
}

void TransferEngine::Arrived() {
    if (!Running())
        return;
    QByteArray answer;
    const TransferFailure broken = connection_.Arrived(answer);
    const std::int64_t before = response_.Progress();
    TransferFailure failure = response_.TakeArrival(answer);
    for (QByteArray rest; !failure && response_.NextAnswer(rest);)
        failure = response_.TakeArrival(std::exchange(rest, {}));
    if (Redirected(failure))
        return;
    if (!answer.isEmpty()) {
        floor_.Took(std::max<std::int64_t>(0, response_.Progress() - before), clock_.elapsed());
        if (!floorTimer_.isActive())
            floorTimer_.start(int(qMax<std::int64_t>(10, RateFloor::windowMs / 10)));
    }
    if (onArrival)
        onArrival();
    if (failure)
        Fail(failure);
    else if (response_.Complete() || response_.Enough())
        End({});
    else if (broken)
        Fail(broken);
    else if (connection_.GoodbyeReceived())
        Closed(); // a server may wait for our goodbye before it closes
    else
        SendAhead();
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
    if (Resend())
        return;
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
    if (Running() && !Resend())
        Fail({TransferFailure::Kind::Connection,
              ServerConnection::ErrorReason(number, description, redirect_->server().host())});
}

void TransferEngine::Abort(const TransferFailure& failure) {
    if (Running())
        Fail(failure);
}

bool TransferEngine::Cancel() {
    if (!Running())
        return false;
    phase_ = Phase::Failed;
    onEnd_ = nullptr;
    floorTimer_.stop();
    connection_.Close();
    const bool cutWhole = response_.CutWhole();
    response_.Detach();
    return cutWhole;
}

// Names the address a redirected fetch failed at, and moves on to the next
// mirror when another may do better. A file is tried elsewhere only while
// its sink has seen no answer.
void TransferEngine::Fail(TransferFailure failure) {
    if (redirect_ && redirect_->hops() > 0)
        failure.text = FailureReason::Joined(failure.text, "(" + redirect_->Url() + ")");
    const HttpResponseReader& reader = response_.Response();
    const bool sinkUntouched =
        !response_.ReceivingFile() ||
        (response_.Answer() == 0 &&
         (!reader.HeadComplete() || failure.kind == TransferFailure::Kind::ServerError));
    // A server that cannot be reached or says nothing is not asked again.
    const bool dead =
        failure.kind == TransferFailure::Kind::Stalled ||
        (failure.kind == TransferFailure::Kind::Connection && phase_ == Phase::Connecting);
    if (sinkUntouched && mirrors_.MoveOn(failure, options_.moveOn, dead)) {
        NextServer();
        return;
    }
    End(failure);
}

void TransferEngine::NextServer() {
    if (onNextServer)
        onNextServer(mirrors_.Current().written);
    // A new server gets the whole of every wait.
    if (onStart)
        onStart();
    response_.Restart();
    std::unique_ptr<BodyCheck> check;
    if (options_.vetting)
        options_.vetting(path_, check);
    Attempt(std::move(check));
}

void TransferEngine::End(const TransferFailure& failure) {
    phase_ = failure ? Phase::Failed : Phase::Complete;
    floorTimer_.stop();
    const HttpResponseReader& reader = response_.Response();
    FetchResult result{failure,
                       reader.HeadComplete() ? reader.StatusCode() : 0,
                       !failure && response_.NotFound(),
                       reader.Header("content-type"),
                       response_.DeclaresZip(),
                       reader.BodyReceived(),
                       mirrors_.Usable() ? mirrors_.Current().written : QByteArray(),
                       redirect_ ? redirect_->Url() : QByteArray(),
                       response_.CutWhole()};
    response_.Detach();
    // Closed first: the handler may start the next fetch on the same connection.
    connection_.Close();
    if (onStop)
        onStop();
    CallOnce(onEnd_, result);
}
