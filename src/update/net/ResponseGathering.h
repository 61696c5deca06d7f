// One response gathered for a transfer. Each arrival goes through the
// response reader once. A text file's body is kept in memory, because the log
// shows it; a file's body goes to its sink (a file beside its target) as it
// arrives. Answers the counts the windows show.
#pragma once

#include "update/formats/NotFoundRule.h"
#include "update/net/BodyCheck.h"
#include "update/net/FileSink.h"
#include "update/net/HttpResponseReader.h"

#include <QByteArray>
#include <memory>

class ResponseGathering {
public:
    // The largest text kept in memory: the server's text files are small.
    static constexpr qsizetype textLimit = 1024 * 1024;

    // Starts a response whose body is a text, gathered into `text` (emptied
    // first), which outlives the response; `limit` bounds its declared length.
    void BeginText(QByteArray& text, qsizetype limit = textLimit);
    // Starts a response whose body goes to `file`, which outlives the response.
    void BeginFile(FileSink& file);
    // Starts over for the same text or file: a redirect, another mirror, a
    // pipelined answer asked again. A file's sink must not have seen a head
    // yet, unless it writes each answer at its offsets (ranges). The body
    // check stays: a redirect's never saw a body, and another mirror is given
    // a fresh one.
    void Restart();

    // Judges the body of the response begun last with `check` as well.
    void SetBodyCheck(std::unique_ptr<BodyCheck> check) { check_ = std::move(check); }
    // What the response begun last brings, which decides what says it is missing.
    void SetFetched(NotFoundRule::Fetched fetched) { fetched_ = fetched; }

    // Takes one arrival. Answers why the transfer cannot succeed, or no
    // failure while it still can.
    TransferFailure TakeArrival(const QByteArray& data);
    // The server closed the connection: the end of a body framed by the close
    // (when `clean`: see HttpResponseReader::TakeClose), a cut-off otherwise.
    TransferFailure TakeClose(bool clean = true);

    const HttpResponseReader& Response() const { return reader_; }
    // The extra lines of request `index`: a resumed file's range, the proxy's login.
    QByteArray RequestHeaders(qsizetype index = 0) const {
        return (file_ ? file_->RequestHeadersOf(index) : QByteArray()) + proxyLogin_;
    }
    // The fetch's requests, pipelined, and the one whose answer is being read.
    qsizetype Answers() const { return file_ ? file_->Requests() : 1; }
    qsizetype Answer() const { return answer_; }
    // Once an answer is complete and another is due, begins it with `rest`,
    // the bytes that came after the last body.
    bool NextAnswer(QByteArray& rest);
    // The sink has all it wants: the fetch may end unfinished.
    bool Enough() const { return file_ && file_->Enough(); }
    // The proxy's login line for the connection made, or nothing.
    void SetProxyLogin(const QByteArray& line) { proxyLogin_ = line; }

    // Bytes of the response so far, head included, a resumed part too.
    std::int64_t Received() const;
    // What the rate floor counts of it: the sink's own measure.
    std::int64_t Progress() const;
    // Every byte is in and nothing failed.
    bool Complete() const { return !reader_.Failed() && reader_.Complete(); }
    // The file's progress: whether one is being received, its bytes so far (a
    // resumed part included), and its whole size once announced.
    bool ReceivingFile() const { return file_ != nullptr; }
    std::int64_t FileReceived() const;
    std::int64_t FileSize() const;
    // True when the complete response says the file is missing, by the rule
    // for what it brings (NotFoundRule).
    bool NotFound() const;
    // True when the response declares "Content-Type: application/zip".
    bool DeclaresZip() const { return declaresZip_; }

    // A file's body stopped while it was being read: what arrived may be
    // kept; once complete (and refused) it is not.
    bool CutWhole() const;
    // Lets go of the file, which its owner judges from the fetch's result.
    void Detach() { file_ = nullptr; }

private:
    void Begin();
    TransferFailure Settle(TransferFailure failure);
    TransferFailure CheckHead();
    TransferFailure TakeText(const char* data, qsizetype size);
    TransferFailure TakeFile(const char* data, qsizetype size);

    HttpResponseReader reader_;
    QByteArray* text_ = nullptr;
    qsizetype textLimit_ = textLimit;
    FileSink* file_ = nullptr;
    std::unique_ptr<BodyCheck> check_;
    bool declaresZip_ = false; // from the head, once it is complete
    bool mentionsNotFound_ = false;
    NotFoundRule::Fetched fetched_ = NotFoundRule::Fetched::Text;
    QByteArray scanTail_; // the last bytes of the previous piece, for a split "404 not found"
    QByteArray proxyLogin_;
    qsizetype answer_ = 0;
};
