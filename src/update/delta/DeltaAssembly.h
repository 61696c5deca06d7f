// Puts the new archive together in a file open for writing: the blocks the
// seed gave, copied from it, and the fetched ranges, each written at its
// offset, then the whole file checked against the control file's SHA-1. It
// remembers which bytes were written, so a server that left out a range shows
// before the hash is taken. The hash follows the writes: the file is hashed
// from its start as far as it is written without a gap, while the rest is
// still on its way.
#pragma once

#include "update/delta/SpanSet.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <openssl/evp.h>
#include <vector>

class ZsyncControl;

class DeltaAssembly {
public:
    // `fd` is the file to fill, open for reading and writing; it is not
    // closed here. `control` must outlive the assembly.
    DeltaAssembly(const ZsyncControl& control, int fd);
    DeltaAssembly(const DeltaAssembly&) = delete;
    DeltaAssembly& operator=(const DeltaAssembly&) = delete;

    // Copies every block found in the seed. Raises RuntimeError (61 disk
    // full, 57 I/O) when the file cannot take them or the seed cannot be read.
    void CopySeedBlocks(const QString& seedPath, const std::vector<qint64>& seedOffsets);
    // Writes fetched bytes of the file at `offset`: the sink of a
    // MultipartReader. Empty, or why they cannot be written.
    QByteArray Write(qint64 offset, const char* data, qsizetype size);

    // Bytes written so far (each counted once), of Length().
    qint64 Covered() const { return covered_.Total(); }
    const SpanSet& Written() const { return covered_; }
    // Empty when every byte was written and the file's SHA-1 is the control
    // file's; otherwise why the file is not the archive.
    QByteArray Check() const;
    // Empty when the file holds `size` bytes at `offset` as `data` has them;
    // else why not. A sink for answers that check rather than fill.
    QByteArray Compare(qint64 offset, const char* data, qsizetype size) const;

private:
    bool Put(qint64 offset, const char* data, qsizetype size);
    void HashOn();

    const ZsyncControl& control_;
    int fd_;
    SpanSet covered_; // the written stretches
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> sha1_;
    qint64 hashed_ = 0;      // the file's bytes before this are in sha1_
    QByteArray hashFailure_; // why the file could not be hashed
};
