// A help-link item (a text or a picture for the help window) written as it
// arrives, beside its file in the help folder, and renamed over that file only
// once the whole answer is in: an item of any size up to the bound, and one
// that fails leaves the help file as it was.
#pragma once

#include "update/files/DownloadFile.h"
#include "update/net/FileSink.h"
#include "update/net/HttpResponseReader.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

class HelpLinkReceiver : public FileSink {
public:
    // The largest item taken: far beyond any help picture, short of a disk.
    static constexpr std::int64_t sizeLimit = 64 * 1024 * 1024;

    // Prepares the file beside `target`. Raises RuntimeError when the folder
    // cannot take it.
    explicit HelpLinkReceiver(const QString& target);

    QByteArray RequestHeaders() const override { return {}; }
    std::int64_t Offset() const override { return 0; }
    // Refuses a body announced beyond the bound before a byte of it is written.
    TransferFailure CheckHead(const HttpResponseReader& response) override;
    TransferFailure Take(const char* data, qsizetype size) override;
    // Nothing is kept for a resume: an item is small enough to fetch again,
    // and its file goes with the receiver.
    void Interrupt(bool /*sound*/) override {}

    // Renames the file over its target. Answers why it could not.
    TransferFailure Save();

private:
    DownloadFile file_;
};
