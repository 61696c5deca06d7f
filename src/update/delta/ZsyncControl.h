// The zsync control file a publisher makes with zsyncmake 0.6: the target's
// length, block size, SHA-1 and addresses, and per block a truncated rolling
// sum and a truncated MD4. Read strictly: anything malformed or out of bounds
// is refused with a reason, and the caller downloads the whole archive instead.
#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>

class ZsyncControl {
public:
    // Bounds that keep the scan's index of blocks under some 100 MiB: 4 Mi
    // blocks are a 16 GiB target at zsyncmake's block size for large files.
    static constexpr qint64 maxBlockCount = qint64(4) << 20;
    static constexpr qint64 maxSize = maxBlockCount * 20 + 64 * 1024;
    static constexpr qint64 maxLength = qint64(64) << 30;
    static constexpr qint64 minBlocksize = 256;
    static constexpr qint64 maxBlocksize = 1024 * 1024;
    static constexpr qsizetype maxHeaderSize = 64 * 1024;

    // Reads the whole control file. Empty on success, otherwise why it was refused.
    QByteArray Read(const QByteArray& text);

    qint64 Length() const { return length_; }
    qint64 Blocksize() const { return blocksize_; }
    qint64 BlockCount() const { return blockCount_; }
    // Consecutive blocks that must match together (1 or 2), bytes kept of
    // the rolling sum (1-4) and of the MD4 (3-16).
    int SeqMatches() const { return seqMatches_; }
    int RsumBytes() const { return rsumBytes_; }
    int ChecksumBytes() const { return checksumBytes_; }
    const QByteArray& Filename() const { return filename_; }
    // As written: relative to the control file's address unless absolute.
    const QList<QByteArray>& Urls() const { return urls_; }
    // The whole target's SHA-1, 20 bytes.
    const QByteArray& Sha1() const { return sha1_; }

    // Block `index`'s rolling sum as stored: the last RsumBytes() of
    // (a << 16 | b), where a and b are the sums of the block padded with zeros.
    std::uint32_t RollingSum(qint64 index) const;
    // The first ChecksumBytes() of block `index`'s MD4.
    const unsigned char* Checksum(qint64 index) const;
    // The mask that truncates a full rolling sum as the table does.
    std::uint32_t RsumMask() const;

private:
    QByteArray ReadHeader(const QByteArray& key, const QByteArray& value);

    qint64 length_ = -1;
    qint64 blocksize_ = 0;
    qint64 blockCount_ = 0;
    int seqMatches_ = 0;
    int rsumBytes_ = 0;
    int checksumBytes_ = 0;
    QByteArray filename_;
    QList<QByteArray> urls_;
    QByteArray sha1_;
    QByteArray table_; // BlockCount() records of RsumBytes() + ChecksumBytes() bytes
};
