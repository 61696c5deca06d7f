// Reading the zsync control file: header lines up to an empty line, then the
// binary block table, whose size must agree with the header exactly.
#include "update/delta/ZsyncControl.h"

#include "update/delta/DecimalNumber.h"

#include <limits>

namespace {

bool InRange(qint64 value, qint64 low, qint64 high) {
    return value >= low && value <= high;
}

} // namespace

QByteArray ZsyncControl::Read(const QByteArray& text) {
    *this = ZsyncControl();
    if (text.size() > maxSize)
        return "the control file is too large";
    const qsizetype end = text.indexOf("\n\n");
    if (end < 0 || end >= maxHeaderSize)
        return "the control file has no end of its header";
    const QList<QByteArray> lines = text.left(end).split('\n');
    if (!lines[0].startsWith("zsync: "))
        return "not a zsync control file";
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(": ");
        if (colon <= 0)
            return "a header line of the control file has no value: " + line.left(80);
        const QByteArray failure = ReadHeader(line.left(colon), line.mid(colon + 2));
        if (!failure.isEmpty())
            return failure;
    }
    if (length_ < 0 || blocksize_ == 0 || seqMatches_ == 0 || sha1_.isEmpty() || urls_.isEmpty())
        return "the control file lacks Length, Blocksize, Hash-Lengths, SHA-1 or URL";
    blockCount_ = (length_ + blocksize_ - 1) / blocksize_;
    if (blockCount_ > maxBlockCount)
        return "the control file has too many blocks";
    table_ = text.mid(end + 2);
    if (table_.size() != blockCount_ * (rsumBytes_ + checksumBytes_))
        return "the control file's block table does not match its Length and Blocksize";
    return {};
}

QByteArray ZsyncControl::ReadHeader(const QByteArray& key, const QByteArray& value) {
    const auto once = [&](bool seen) -> QByteArray {
        return seen ? "the control file repeats " + key : QByteArray();
    };
    if (key == "zsync") {
        // 0.6 wrote every file this reader knows; an older or newer format may differ.
        if (!value.startsWith("0.6"))
            return "the control file's version " + value.left(20) + " is not understood";
    } else if (key == "Filename") {
        filename_ = value;
    } else if (key == "URL") {
        urls_.append(value);
    } else if (key == "Length") {
        if (const QByteArray failure = once(length_ >= 0); !failure.isEmpty())
            return failure;
        length_ = DecimalNumber(value);
        if (!InRange(length_, 0, maxLength))
            return "the control file's Length is out of bounds";
    } else if (key == "Blocksize") {
        if (const QByteArray failure = once(blocksize_ > 0); !failure.isEmpty())
            return failure;
        blocksize_ = DecimalNumber(value);
        if (!InRange(blocksize_, minBlocksize, maxBlocksize) || (blocksize_ & (blocksize_ - 1)))
            return "the control file's Blocksize is not a power of two in bounds";
    } else if (key == "Hash-Lengths") {
        if (const QByteArray failure = once(seqMatches_ > 0); !failure.isEmpty())
            return failure;
        const QList<QByteArray> parts = value.split(',');
        if (parts.size() != 3)
            return "the control file's Hash-Lengths is not three numbers";
        seqMatches_ = int(DecimalNumber(parts[0]));
        rsumBytes_ = int(DecimalNumber(parts[1]));
        checksumBytes_ = int(DecimalNumber(parts[2]));
        if (!InRange(seqMatches_, 1, 2) || !InRange(rsumBytes_, 1, 4) ||
            !InRange(checksumBytes_, 3, 16))
            return "the control file's Hash-Lengths are out of bounds";
    } else if (key == "SHA-1") {
        if (const QByteArray failure = once(!sha1_.isEmpty()); !failure.isEmpty())
            return failure;
        const QByteArray digest = QByteArray::fromHex(value);
        if (value.size() != 40 || digest.size() != 20 || digest.toHex() != value.toLower())
            return "the control file's SHA-1 is not 40 hex digits";
        sha1_ = digest;
    }
    return {};
}

std::uint32_t ZsyncControl::RsumMask() const {
    return std::numeric_limits<std::uint32_t>::max() >> (8 * (4 - rsumBytes_));
}

std::uint32_t ZsyncControl::RollingSum(qint64 index) const {
    const auto* record = reinterpret_cast<const unsigned char*>(table_.constData()) +
                         index * (rsumBytes_ + checksumBytes_);
    std::uint32_t sum = 0;
    for (int i = 0; i < rsumBytes_; ++i)
        sum = sum << 8 | record[i];
    return sum;
}

const unsigned char* ZsyncControl::Checksum(qint64 index) const {
    return reinterpret_cast<const unsigned char*>(table_.constData()) +
           index * (rsumBytes_ + checksumBytes_) + rsumBytes_;
}
