// One fetch at a time on a window's connection: connect, send the request,
// read each arrival once into its sink (a text in memory or a file), and end
// complete or failed with a reason. A file sink may make its fetch several
// requests of the same path, pipelined on one kept-alive connection; those a
// server leaves unanswered when it closes go again on a new connection. It
// never waits: the window that owns the connection passes its events
// on, and a window that must block waits in the event loop until the fetch
// has ended. How the windows differ (the wait and its stall rule, what they
// show, what a complete answer leads to) lives in their handlers.
#pragma once

#include "update/formats/NotFoundRule.h"
#include "update/net/FetchResult.h"
#include "update/net/MirrorPolicy.h"
#include "update/net/RateFloor.h"
#include "update/net/RedirectPolicy.h"
#include "update/net/ResponseGathering.h"
#include "update/net/ServerConnection.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// What a fetch asks beyond its path.
struct FetchOptions {
    // A text longer than this is refused.
    qsizetype limit = ResponseGathering::textLimit;
    // What the fetch brings, which decides what says it is missing. A file
    // the release list vouches for is always judged as a signed one.
    NotFoundRule::Fetched fetched = NotFoundRule::Fetched::Text;
    // Failures that move the request on to the next mirror: during the
    // fetch while its sink has seen no answer, and through MoveOn after.
    MirrorPolicy::Kinds moveOn = MirrorPolicy::connectionKinds;
    // The same request as the last fetch: the archive again from the
    // next mirror, or its signature. Its servers are counted together.
    bool continues = false;
    // Asked before the fetch and at each next mirror: a failure refuses the
    // path unfetched; a check it sets judges the body as it arrives (not the
    // bodies of a range request: their file is judged once put together, by
    // whoever asked for the ranges). Without it every body is taken.
    using Vetting =
        std::function<TransferFailure(const QByteArray& path, std::unique_ptr<BodyCheck>& check)>;
    Vetting vetting;
};

class TransferEngine {
public:
    TransferEngine();

    enum class Phase {
        Idle,       // nothing fetched yet
        Connecting, // the request goes out once connected
        Receiving,  // the request is out; the answer arrives
        Complete,   // the whole answer is in
        Failed,     // ended for the reason its result gives
    };
    using EndHandler = std::function<void(const FetchResult& result)>;

    using Options = FetchOptions;

    // Requests of one fetch sent ahead of their answers.
    static constexpr qsizetype pipelineDepth = 8;

    // Told when a fetch starts and after each arrival, with the counts up to date.
    std::function<void()> onStart;
    std::function<void()> onArrival;
    // Told when a fetch ends, before its own end handler.
    std::function<void()> onStop;
    // Told whenever a fetch opens a connection: its first, the next
    // mirror's, a redirect's, a resend's. Each gets the whole of the
    // caller's wait.
    std::function<void()> onConnecting;
    // Told when a fetch moves on to the next mirror, named as the user named it.
    std::function<void(const QByteArray& server)> onNextServer;

    // Fetches `path` from `server` on `connection`, the body into `text` or into
    // `file`; `onEnd` is told once with the result when the fetch has ended,
    // the connection closed by then. A fetch that cannot start ends before this
    // returns. `server` is written as ServerAddress reads it: one server or a
    // list of mirrors, of which the fetch starts with the one the last fetch
    // of the same list ended on. Redirects are followed; `path` stays the
    // fetch's path.
    void FetchText(Connection& connection, const QByteArray& server, const QByteArray& path,
                   QByteArray& text, EndHandler onEnd, const Options& options = {});
    void FetchFile(Connection& connection, const QByteArray& server, const QByteArray& path,
                   FileSink& file, EndHandler onEnd, const Options& options = {});

    // The next fetch starts with the first mirror, none skipped: a new command.
    void FirstServerNext() { mirrors_.NewCommand(); }
    // Whether `failure` of the last fetch's request, met once the fetch has
    // ended (an archive cut short, refused by its signature or the release
    // list), moves the request on to the next mirror, which is then told to
    // onNextServer. Otherwise `failure` becomes the request's first reason
    // with the count of servers tried.
    bool MoveOn(TransferFailure& failure);

    // The connection's events, passed on by the window that owns it.
    void Connected();
    void Arrived();
    // The server closed: the end of a body framed by the close when the
    // connection can vouch for it (TLS only with its close alert), a cut-off
    // otherwise. A TLS close alert ends the body the same way when it
    // arrives, before the connection closes.
    void Closed();
    void Errored(std::int16_t number, const QByteArray& description);

    // Ends a running fetch as failed: a stall, a window that closes.
    void Abort(const TransferFailure& failure);
    // Lets a running fetch go without telling its end handler, and its file
    // with it: true when that file's body stopped part way, whole as far as
    // it went (see FetchResult::cutWhole).
    bool Cancel();

    bool Running() const { return phase_ == Phase::Connecting || phase_ == Phase::Receiving; }
    // The path of the current or last fetch.
    const QByteArray& Path() const { return path_; }
    // The response while it arrives, for its progress. A fetch lets go of
    // its file when it ends.
    const ResponseGathering& Response() const { return response_; }

private:
    void Start(Connection& connection, const QByteArray& server, const QByteArray& path,
               EndHandler onEnd, const Options& options, bool judgedWhole);
    // A try of the fetch at the current mirror with a body check of its own,
    // so that no byte of a failed try reaches the next one's verdict.
    void Attempt(std::unique_ptr<BodyCheck> check);
    void NextServer();
    void Connect();
    void Reconnect(const QByteArray& host);
    bool Redirected(const TransferFailure& failure);
    void Fail(TransferFailure failure);
    void CheckRate();
    void SendAhead();
    bool Resend();
    void End(const TransferFailure& failure);

    ResponseGathering response_;
    MirrorPolicy mirrors_;
    ServerConnection connection_;
    RateFloor floor_;
    QElapsedTimer clock_;
    QTimer floorTimer_;
    std::optional<RedirectPolicy> redirect_;
    Connection* link_ = nullptr;      // the fetch's, under connection_
    QByteArray host_;                 // what the connection's requests name the server by
    qsizetype sent_ = 0;              // requests of the fetch sent so far
    qsizetype connectionFirst_ = 0;   // the first answer this connection carries
    bool resentCut_ = false;          // an answer cut short was asked again
    qsizetype depth_ = pipelineDepth; // requests out at once
    QByteArray path_;
    Options options_;
    bool judgedWhole_ = true;
    EndHandler onEnd_;
    Phase phase_ = Phase::Idle;
};
