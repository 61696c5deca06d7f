// One response gathered for a window's transfer, the same for both windows.
// Each arrival goes through the response reader once. A text file's body is
// kept in responseBuffer, because the log shows it; an archive's body goes to
// its receiver (a file beside its target) as it arrives. The shared state's
// counts follow every arrival.
#pragma once

#include "update/ArchiveReceiver.h"
#include "update/HttpResponseReader.h"

#include <QByteArray>
#include <QString>
#include <memory>

class ResponseGathering {
public:
    // The message a body becomes when the server does not have the file.
    static constexpr char notFoundMessage[] = "Update file not found on the server.";
    // The largest text kept in memory: the server's text files are small.
    static constexpr qsizetype textLimit = 1024 * 1024;

    // Both start with an empty response: responseBuffer, its length, the
    // expected length and transferDone.
    // Starts a response whose body is a text, kept in responseBuffer.
    void BeginText();
    // Starts a response whose body goes to `archive`, which outlives it.
    void BeginArchive(ArchiveReceiver& archive);

    // Takes one arrival and sets responseLength, expectedLength and
    // transferDone from it. Answers why the transfer cannot succeed, or an
    // empty text while it still can.
    QByteArray TakeArrival(const QByteArray& data);
    // The server closed the connection: ends a body framed by the close
    // (setting transferDone), or answers why the transfer failed. `clean` is
    // the connection's word that the close was the server's own; over TLS
    // it is false for a close without close_notify, a cut-off.
    QByteArray TakeClose(bool clean = true);

    const HttpResponseReader& Response() const { return reader_; }
    // The request's extra lines: a resumed archive's range, the proxy's login.
    QByteArray RequestHeaders() const {
        return (archive_ ? archive_->RequestHeaders() : QByteArray()) + proxyLogin_;
    }
    // The proxy's login line for the connection made, or nothing.
    void SetProxyLogin(const QByteArray& line) { proxyLogin_ = line; }

    // The archive's progress: whether one is being received, its bytes so
    // far (a resumed part included), and its whole size once announced (0
    // for a body without a length).
    bool ReceivingArchive() const { return archive_ != nullptr; }
    std::int64_t ArchiveReceived() const;
    std::int64_t ArchiveSize() const;
    // True when the complete response says the file is missing: a 404 status,
    // or "404 not found" in any case in a body that is not declared an
    // archive (an archive's bytes may hold any text).
    bool NotFound() const;
    // True when the response declares "Content-Type: application/zip".
    bool DeclaresZip() const { return declaresZip_; }

    // Lets go of `archive` after a download that did not end in a save: what
    // arrived while its body was being read may be kept; once complete (and
    // refused) it is not.
    void Release(std::unique_ptr<ArchiveReceiver>& archive);

private:
    void Begin(ArchiveReceiver* archive);
    // Lets the archive go when the response did not end in a save: the
    // target keeps what it had, and what arrived of an interrupted answer is
    // kept for a resume.
    void Abandon();
    // Sets the shared state's counts and transferDone after the reader moved on.
    QByteArray Settle(const QByteArray& failure);
    QByteArray CheckHead();
    QByteArray TakeText(const char* data, qsizetype size);
    QByteArray TakeArchive(const char* data, qsizetype size);

    HttpResponseReader reader_;
    ArchiveReceiver* archive_ = nullptr;
    bool declaresZip_ = false; // from the head, once it is complete
    bool mentionsNotFound_ = false;
    QByteArray scanTail_; // the last bytes of the previous piece, for a split "404 not found"
    QByteArray proxyLogin_;
};
