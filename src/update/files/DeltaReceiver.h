// The file a delta update puts together beside the target: the blocks the
// seed gave, then the answers to Range requests, each piece written at its
// offset whatever shape the server answered in (several ranges, one, or the
// whole file). A file put together this way is never kept for a resume: its
// bytes are not a prefix of the archive.
#pragma once

#include "update/delta/DeltaAssembly.h"
#include "update/delta/MultipartReader.h"
#include "update/files/DownloadFile.h"
#include "update/net/FileSink.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <vector>

class ZsyncControl;

class DeltaReceiver : public FileSink {
public:
    // Creates the file beside `target` for the archive `control` describes;
    // `control` must outlive the receiver. Raises RuntimeError.
    DeltaReceiver(const QString& target, const ZsyncControl& control);

    // The reason a server's answers show that the control file describes
    // some other archive.
    static constexpr const char* staleControl =
        "the server's control file does not describe its archive";
    // The archive's last bytes, asked for when no range is missing: their
    // Content-Range confirms the length, and they must be the assembled tail.
    static constexpr qint64 tailSize = 64 * 1024;

    // Copies the blocks found in `seedPath`; raises RuntimeError. Room for
    // the whole archive is reserved once its length is confirmed: by
    // Reserve() or by the first byte a server sends.
    void CopySeedBlocks(const QString& seedPath, const std::vector<qint64>& seedOffsets);
    // Reserves room for the archive, as far as the disk has it free.
    void Reserve();
    // The Range header's value for the next request: "bytes=0-99,200-299".
    void Ask(const QByteArray& ranges) { AskEach({ranges}); }
    // One value per request of the next fetch, pipelined.
    void AskEach(const QList<QByteArray>& requests);
    // Asks for the archive's tail, whose bytes are compared, not written.
    void AskTail();
    static QByteArray TailRange() { return "bytes=-" + QByteArray::number(tailSize); }

    QByteArray RequestHeaders() const override { return RequestHeadersOf(0); }
    qsizetype Requests() const override { return asks_.size(); }
    QByteArray RequestHeadersOf(qsizetype index) const override {
        return "Range: " + asks_.at(index) + "\r\n";
    }
    void Answering(qsizetype index) override;
    // The whole file came: for several ranges once the part read so far
    // has passed what they ask, else once it is all in.
    bool Enough() const override;
    std::int64_t Offset() const override { return 0; }
    TransferFailure CheckHead(const HttpResponseReader& response) override;
    TransferFailure Take(const char* data, qsizetype size) override;
    void Interrupt(bool) override {}
    bool TakesWholeFile() const override { return false; }
    // The windows count the archive's bytes as they are put together.
    std::int64_t Received(const HttpResponseReader&) const override { return Covered(); }
    std::int64_t FileReceived(const HttpResponseReader&) const override { return Covered(); }
    std::int64_t Progress(const HttpResponseReader&) const override { return sent_; }
    std::int64_t FileSize(const HttpResponseReader&) const override;

    // The last answer's shape, and whether its body ended where it should.
    MultipartReader::Shape Kind() const { return reader_.Kind(); }
    bool AnswerComplete() const { return reader_.Complete(); }
    // The last answer's request asked for several ranges.
    bool AskedSeveral() const { return several_; }
    std::int64_t Covered() const { return assembly_.Covered(); }
    const SpanSet& Written() const { return assembly_.Written(); }
    // Empty when the whole archive is there and its SHA-1 is right; else why not.
    QByteArray Check() const { return assembly_.Check(); }

    QString ReadablePath() const { return file_.ReadablePath(); }
    std::int64_t Size() const;
    // Flushes the archive and renames it over its target; raises RuntimeError.
    void Commit();

private:
    TransferFailure Refused(const QByteArray& refusal) const;

    const ZsyncControl& control_;
    DownloadFile file_;
    DeltaAssembly assembly_;
    MultipartReader reader_;
    QList<QByteArray> asks_;
    SpanSet wanted_;         // the bytes the answer being read asks for
    bool several_ = false;   // it asks for more than one range
    bool started_ = false;   // its head is in
    bool comparing_ = false; // the answer is checked against the file
    bool reserved_ = false;
    qint64 sent_ = 0; // file bytes the server sent, each once
};
