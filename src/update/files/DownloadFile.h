// An archive written as it arrives, beside the file it is meant for: a file in
// the target's folder, locked for as long as it is written, flushed to disk and
// renamed over the target only when the download is complete and right. Where
// the file system allows it the file has no name until then, so a KORU killed
// mid-download leaves nothing behind; otherwise it carries KORU's own name and
// the next download into that folder removes it.
//
// A download cut off part way may be kept for a later resume: the bytes that
// arrived stay beside the target as its KeptPart.
#pragma once

#include "update/files/KeptPart.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

class DownloadFile {
public:
    // Creates the file beside `target`, or, given the archive's address, takes
    // up the part kept from an earlier download of it to the same target.
    // Raises RuntimeError, whose source is the target's name, when the folder
    // cannot take it.
    explicit DownloadFile(const QString& target, const QByteArray& url = {});
    // Removes the file unless it was committed or kept.
    ~DownloadFile();
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;

    // The bytes and validator of a kept part taken up; 0 and empty otherwise.
    std::int64_t KeptSize() const { return keptSize_; }
    const QByteArray& KeptValidator() const { return keptValidator_; }
    // Drops what the file holds: the download starts from its first byte.
    void StartOver();

    // Makes room for `size` more bytes at once, so that a full disk shows
    // before the first of them; raises RuntimeError.
    void Reserve(std::int64_t size);
    // Appends bytes; raises RuntimeError (61 disk full, 75 access, 57 I/O).
    void Write(const char* data, qsizetype size);
    // Flushes to disk and renames over the target; raises RuntimeError.
    void Commit();
    // Keeps what arrived for a resume under `validator`, when there is both
    // and the validator is sendable; otherwise removes it. The object lets go of the file either
    // way.
    void Keep(const QByteArray& validator);

    std::int64_t Size() const { return written_; }
    // The file, open for reading and writing, for writes at offsets; then
    // Assembled() says how long it is.
    int Descriptor() const { return fd_; }
    void Assembled(std::int64_t size) { written_ = flushedTo_ = size; }
    // A name that reads the file as it is now, while it is open.
    QString ReadablePath() const;

    // Removes the files of KORU's own naming in `folder` that no running KORU
    // is writing (left by one that was killed). Answers how many it removed.
    static int RemoveStale(const QString& folder);
    static bool IsOwnName(const QString& fileName);

private:
    void Create();
    bool TakeUpKeptPart();
    // The file is the kept part itself, under its kept name.
    bool HoldsKeptPart() const;
    void Discard();
    [[noreturn]] void Raise(int error) const;
    void Close();

    QString target_;
    std::optional<KeptPart> kept_; // where a part of this download is kept; none without an address
    QString path_;                 // empty while the file has no name
    int fd_ = -1;
    int folderFd_ = -1;
    std::int64_t written_ = 0;
    std::int64_t flushedTo_ = 0; // where write-back was last started
    std::int64_t keptSize_ = 0;
    QByteArray keptValidator_;
};
