// An archive written as it arrives, beside the file it is meant for: a file in
// the target's folder, locked for as long as it is written, flushed to disk and
// renamed over the target only when the download is complete and right. Where
// the file system allows it the file has no name until then, so a KORU killed
// mid-download leaves nothing behind; otherwise it carries KORU's own name and
// the next download into that folder removes it.
#pragma once

#include <QString>
#include <cstdint>

class DownloadFile {
public:
    // Creates the file beside `target`. Raises RuntimeError, whose source is
    // the target's name, when the folder cannot take it.
    explicit DownloadFile(const QString& target);
    // Removes the file unless it was committed.
    ~DownloadFile();
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;

    // Makes room for the whole download at once, so that a full disk shows
    // before the first byte; raises RuntimeError.
    void Reserve(std::int64_t size);
    // Appends bytes; raises RuntimeError (61 disk full, 75 access, 57 I/O).
    void Write(const char* data, qsizetype size);
    // Flushes to disk and renames over the target; raises RuntimeError.
    void Commit();

    std::int64_t Size() const { return written_; }

    // Removes the files of KORU's own naming in `folder` that no running KORU
    // is writing (left by one that was killed). Answers how many it removed.
    static int RemoveStale(const QString& folder);
    static bool IsOwnName(const QString& fileName);

private:
    void Create();
    void Discard();
    [[noreturn]] void Raise(int error) const;
    void Close();

    QString target_;
    QString path_; // empty while the file has no name
    int fd_ = -1;
    int folderFd_ = -1;
    std::int64_t written_ = 0;
    std::int64_t flushedTo_ = 0; // where write-back was last started
};
