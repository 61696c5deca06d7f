// One response gathered for a window's transfer, the same for both windows.
// Each arrival goes through the response reader once. A text file's body is
// kept in responseBuffer, because the log shows it; an archive's body goes to
// a file beside its target as it arrives and replaces the target only when it
// is complete and right. The shared state's counts follow every arrival.
#pragma once

#include "update/DownloadFile.h"
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
    // Starts a response whose body goes to a file beside `target`. Raises
    // RuntimeError when the target's folder cannot take it.
    void BeginArchive(const QString& target);

    // Takes one arrival and sets responseLength, expectedLength and
    // transferDone from it. Answers why the transfer cannot succeed, or an
    // empty text while it still can.
    QByteArray TakeArrival(const QByteArray& data);

    const HttpResponseReader& Response() const { return reader_; }
    // True when the complete response says the file is missing: a 404 status,
    // or "404 not found" in any case in a body that is not declared an
    // archive (an archive's bytes may hold any text).
    bool NotFound() const;
    // True when the response declares "Content-Type: application/zip".
    bool DeclaresZip() const;

    // Flushes the archive and renames it over its target; raises RuntimeError.
    void SaveArchive();
    // Lets the archive's file go: the target keeps what it had.
    void Abandon() { archive_.reset(); }

private:
    QByteArray CheckHead();
    QByteArray TakeText(const char* data, qsizetype size);
    QByteArray TakeArchive(const char* data, qsizetype size);

    HttpResponseReader reader_;
    std::unique_ptr<DownloadFile> archive_;
    bool mentionsNotFound_ = false;
    QByteArray scanTail_; // the last bytes of the previous piece, for a split "404 not found"
};
