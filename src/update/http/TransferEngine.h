// One fetch at a time on a window's socket object: connect, send the request,
// read each arrival once into its sink (a text in memory or a file), and end
// complete or failed with a reason. It never waits: the window that owns the
// socket passes the socket's events on, and a window that must block waits
// in the event loop until the fetch has ended. How the windows differ (the
// wait and its stall rule, what they show, what a complete answer leads to)
// lives in their handlers.
#pragma once

#include "update/http/ResponseGathering.h"

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <memory>

class CSocketMaster;

class TransferEngine {
public:
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
    // it sets judges the body as it arrives. Without it every body is taken.
    std::function<TransferFailure(const QByteArray& path, std::unique_ptr<BodyCheck>& check)>
        vetting;

    // Fetches `path` from `server` ("host" or "host:port") on `socket`, the
    // body into `text` or into `file`; `onEnd` is told once when the fetch
    // has ended, the socket closed by then. A fetch that cannot start ends
    // before this returns. A text longer than `limit` is refused.
    void FetchText(CSocketMaster& socket, const QByteArray& server, const QByteArray& path,
                   QByteArray& text, EndHandler onEnd,
                   qsizetype limit = ResponseGathering::textLimit);
    void FetchFile(CSocketMaster& socket, const QByteArray& server, const QByteArray& path,
                   FileSink& file, EndHandler onEnd);

    // The socket's events, passed on by the window that owns it.
    void Connected();
    void Arrived();
    // The server closed: the end of a body framed by the close when `clean`
    // (a connection that cannot vouch for its close, such as TLS without its
    // close alert, passes false), a cut-off otherwise.
    void Closed(bool clean = true);
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
    void Start(CSocketMaster& socket, const QByteArray& server, const QByteArray& path,
               EndHandler onEnd);
    void End(const TransferFailure& failure);

    ResponseGathering response_;
    CSocketMaster* socket_ = nullptr;
    QByteArray server_;
    QByteArray path_;
    EndHandler onEnd_;
    TransferFailure failure_;
    Phase phase_ = Phase::Idle;
};
