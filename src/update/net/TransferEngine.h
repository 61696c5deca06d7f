// One fetch at a time on a window's socket object: connect, send the request,
// read each arrival once into its sink (a text in memory or a file), and end
// complete or failed with a reason. It never waits: the window that owns the
// socket passes the socket's events on, and a window that must block waits
// in the event loop until the fetch has ended. How the windows differ (the
// wait and its stall rule, what they show, what a complete answer leads to)
// lives in their handlers.
#pragma once

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

class CSocketMaster;

class TransferEngine {
public:
    TransferEngine();

    enum class Phase {
        Idle,       // nothing fetched yet
        Connecting, // the request goes out once connected
        Receiving,  // the request is out; the answer arrives
        Complete,   // the whole answer is in
        Failed,     // ended for the reason Failure() gives
    };
    using EndHandler = std::function<void(const TransferFailure& failure)>;

    // Told when a fetch starts and after each arrival, with the counts up to date.
    std::function<void()> onStart;
    std::function<void()> onArrival;
    // Told when a fetch ends, before its own end handler.
    std::function<void()> onStop;
    // Asked before each fetch: a failure refuses the path unfetched; a check
    // it sets judges the body as it arrives (not the bodies of a range
    // request: their file is judged once put together, by whoever asked for
    // the ranges). Without it every body is taken.
    std::function<TransferFailure(const QByteArray& path, std::unique_ptr<BodyCheck>& check)>
        vetting;
    // Told when a fetch moves on to the next mirror, named as messages name it.
    std::function<void(const QByteArray& server)> onNextServer;

    // Fetches `path` from `server` on `socket`, the body into `text` or into
    // `file`; `onEnd` is told once when the fetch has ended, the socket closed
    // by then. A fetch that cannot start ends before this returns. `server`
    // is written as ServerAddress reads it: one server or a list of mirrors,
    // of which the fetch starts with the one the last fetch of the same list
    // ended on. Redirects are followed; `path` stays the fetch's path. A text
    // longer than `limit` is refused.
    void FetchText(CSocketMaster& socket, const QByteArray& server, const QByteArray& path,
                   QByteArray& text, EndHandler onEnd,
                   qsizetype limit = ResponseGathering::textLimit);
    void FetchFile(CSocketMaster& socket, const QByteArray& server, const QByteArray& path,
                   FileSink& file, EndHandler onEnd);

    // The next fetch starts with the first mirror: a new command.
    void FirstServerNext();
    // The next fetch starts with the mirror after the one the last fetch
    // ended on, which is told to onNextServer; false when there is none, or
    // the last fetch has tried every one.
    bool MoveToNextServer();

    // The socket's events, passed on by the window that owns it.
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
    // Lets a running fetch go without telling its end handler.
    void Cancel();

    Phase CurrentPhase() const { return phase_; }
    bool Running() const { return phase_ == Phase::Connecting || phase_ == Phase::Receiving; }
    const TransferFailure& Failure() const { return failure_; }
    // The path of the current or last fetch.
    const QByteArray& Path() const { return path_; }
    const ResponseGathering& Response() const { return response_; }
    ResponseGathering& Response() { return response_; }

private:
    // A mirror: the address, and the text a plain request names it by.
    struct Mirror {
        ServerAddress address;
        QByteArray written;
    };

    void Start(CSocketMaster& socket, const QByteArray& server, const QByteArray& path,
               EndHandler onEnd, bool judgedWhole = true);
    void ReadServers(const QByteArray& server);
    void Connect();
    void Reconnect(const QByteArray& host);
    bool Redirected(const TransferFailure& failure);
    void Fail(TransferFailure failure);
    void CheckRate();
    void End(const TransferFailure& failure);

    ResponseGathering response_;
    ServerConnection connection_;
    RateFloor floor_;
    QElapsedTimer clock_;
    QTimer floorTimer_;
    std::optional<RedirectPolicy> redirect_;
    CSocketMaster* socket_ = nullptr;
    QByteArray serverText_;
    QList<Mirror> mirrors_;
    QByteArray mirrorsProblem_;
    qsizetype mirror_ = 0;      // where fetches of this list start
    qsizetype firstMirror_ = 0; // where the running fetch started
    bool triedEveryServer_ = false;
    TransferFailure firstFailure_;
    QByteArray path_;
    EndHandler onEnd_;
    TransferFailure failure_;
    Phase phase_ = Phase::Idle;
};
