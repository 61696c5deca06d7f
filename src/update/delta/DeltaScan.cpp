// The seed scan. Sums roll in 32-bit arithmetic and are truncated to zsync's
// 16 bits each only when looked up, which gives the same values.
#include "update/delta/DeltaScan.h"

#include "platform/runtime/RuntimeError.h"
#include "update/delta/ZsyncControl.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint64_t hashFactor = 0x9E3779B97F4A7C15ULL;

void Sums(const unsigned char* data, qint64 length, std::uint32_t& a, std::uint32_t& b) {
    a = b = 0;
    for (qint64 i = 0; i < length; ++i) {
        a += data[i];
        b += std::uint32_t(length - i) * data[i];
    }
}

} // namespace

DeltaScan::DeltaScan(const ZsyncControl& control, const QString& seedPath)
    : control_(control), seed_(seedPath), blocksize_(control.Blocksize()),
      window_(control.Blocksize() * control.SeqMatches()), seqMatches_(control.SeqMatches()),
      mask_(control.RsumMask()), seedOffsets_(std::size_t(control.BlockCount()), -1) {
    if (!seed_.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw RuntimeError(RuntimeErrors::pathFileAccess, seedPath.toUtf8());
    seedSize_ = seed_.size();
    BuildIndex();
}

void DeltaScan::BuildIndex() {
    const qint64 blocks = control_.BlockCount();
    const qint64 keyed = blocks - (seqMatches_ - 1);
    for (qint64 i = 0; i < keyed; ++i) {
        std::uint64_t key = control_.RollingSum(i);
        if (seqMatches_ == 2)
            key = key << 32 | control_.RollingSum(i + 1);
        index_.emplace_back(key, std::uint32_t(i));
    }
    std::sort(index_.begin(), index_.end());
    // At least 128 filter bits per key: a miss is ruled out 127 times in 128,
    // sparing a search of the index at nearly every offset.
    int bits = 16;
    while (bits < 30 && (qint64(1) << bits) < 128 * qint64(index_.size()))
        ++bits;
    filterShift_ = 64 - bits;
    filter_.assign(std::size_t(1) << (bits - 6), 0);
    for (const auto& [key, block] : index_) {
        const std::uint64_t slot = (key * hashFactor) >> filterShift_;
        filter_[slot >> 6] |= std::uint64_t(1) << (slot & 63);
    }
}

qint64 DeltaScan::KnownBytes() const {
    qint64 bytes = 0;
    for (qint64 block = 0; block < qint64(seedOffsets_.size()); ++block) {
        if (seedOffsets_[std::size_t(block)] >= 0)
            bytes += std::min(blocksize_, control_.Length() - block * blocksize_);
    }
    return bytes;
}

void DeltaScan::Run() {
    while (!Step()) {
    }
}

// Makes the seed's bytes from position_ to beyond position_ + window_
// available, so that at least one offset can be scanned, reading the next
// piece when they are not. False when the seed shrank under the scan.
bool DeltaScan::Fill() {
    const qint64 need = window_ + 1;
    if (position_ >= bufferStart_ && position_ + need < bufferStart_ + bufferLength_)
        return true;
    const qint64 keep = std::max<qint64>(0, bufferStart_ + bufferLength_ - position_);
    if (buffer_.empty())
        buffer_.resize(std::size_t(pieceSize + need));
    if (keep > 0)
        std::memmove(buffer_.data(), buffer_.data() + (position_ - bufferStart_),
                     std::size_t(keep));
    bufferStart_ = position_;
    const qint64 from = bufferStart_ + keep;
    const qint64 room = qint64(buffer_.size()) - keep;
    const qint64 fromFile = std::clamp<qint64>(seedSize_ - from, 0, room);
    if (fromFile > 0 &&
        (!seed_.seek(from) ||
         seed_.read(reinterpret_cast<char*>(buffer_.data() + keep), fromFile) != fromFile))
        return false;
    // Past the seed's end it reads as zeros, as the target's last block is padded.
    std::memset(buffer_.data() + keep + fromFile, 0, std::size_t(room - fromFile));
    bufferLength_ = qint64(buffer_.size());
    return true;
}

void DeltaScan::StartSums() {
    const unsigned char* p = buffer_.data() + (position_ - bufferStart_);
    if (seqMatches_ == 2 && secondSummed_) {
        // After a pair's match the window's first block was the pair's second.
        a0_ = a1_;
        b0_ = b1_;
    } else {
        Sums(p, blocksize_, a0_, b0_);
    }
    if (seqMatches_ == 2)
        Sums(p + blocksize_, blocksize_, a1_, b1_);
    sumsValid_ = true;
    secondSummed_ = false;
}

bool DeltaScan::Step(qint64 budget) {
    const qint64 stop = std::min(seedSize_, position_ + std::max<qint64>(budget, 1));
    const std::uint32_t n = std::uint32_t(blocksize_);
    const bool pairs = seqMatches_ == 2;
    while (position_ < stop) {
        if (!Fill())
            throw RuntimeError(RuntimeErrors::deviceIoError, seed_.fileName().toUtf8());
        if (!sumsValid_)
            StartSums();
        const qint64 end = std::min(stop, bufferStart_ + bufferLength_ - window_ - 1);
        const unsigned char* p = buffer_.data() + (position_ - bufferStart_);
        std::uint32_t a0 = a0_, b0 = b0_, a1 = a1_, b1 = b1_;
        qint64 x = position_;
        bool matched = false;
        for (; x < end; ++x, ++p) {
            std::uint64_t key = ((a0 << 16) | (b0 & 0xffff)) & mask_;
            if (pairs)
                key = key << 32 | (((a1 << 16) | (b1 & 0xffff)) & mask_);
            const std::uint64_t slot = (key * hashFactor) >> filterShift_;
            if ((filter_[slot >> 6] >> (slot & 63) & 1) && TryMatch(p, x, key)) {
                matched = true;
                break;
            }
            const std::uint32_t out = p[0], in = p[n];
            a0 += in - out;
            b0 += a0 - n * out;
            if (pairs) {
                const std::uint32_t next = p[2 * n];
                a1 += next - in;
                b1 += a1 - n * in;
            }
        }
        a0_ = a0, b0_ = b0, a1_ = a1, b1_ = b1;
        position_ = x;
        if (matched) {
            // A confirmed block is not looked for again inside itself.
            position_ += blocksize_;
            sumsValid_ = false;
            secondSummed_ = true;
        }
    }
    return Done();
}

bool DeltaScan::TryMatch(const unsigned char* window, qint64 offset, std::uint64_t key) {
    const auto first =
        std::lower_bound(index_.begin(), index_.end(), std::make_pair(key, std::uint32_t(0)));
    const auto checksumBytes = std::size_t(control_.ChecksumBytes());
    unsigned char digests[2][Md4Digest::size];
    bool digested[2] = {false, false};
    // A pair matched just before: its second block is this window's first.
    if (lastDigestAt_ == offset) {
        std::memcpy(digests[0], lastDigest_, Md4Digest::size);
        digested[0] = true;
    }
    bool matched = false;
    for (auto it = first; it != index_.end() && it->first == key; ++it) {
        const qint64 block = it->second;
        bool wanted = false;
        for (int k = 0; k < seqMatches_; ++k)
            wanted = wanted || seedOffsets_[std::size_t(block + k)] < 0;
        bool agree = wanted;
        for (int k = 0; k < seqMatches_ && agree; ++k) {
            if (!digested[k]) {
                md4_.Digest(window + k * blocksize_, std::size_t(blocksize_), digests[k]);
                digested[k] = true;
            }
            agree = std::memcmp(digests[k], control_.Checksum(block + k), checksumBytes) == 0;
        }
        for (int k = 0; k < seqMatches_ && agree; ++k)
            matched = Know(block + k, offset + k * blocksize_) || matched;
    }
    if (digested[seqMatches_ - 1]) {
        lastDigestAt_ = offset + (seqMatches_ - 1) * blocksize_;
        std::memcpy(lastDigest_, digests[seqMatches_ - 1], Md4Digest::size);
    }
    return matched;
}

bool DeltaScan::Know(qint64 block, qint64 offset) {
    qint64& known = seedOffsets_[std::size_t(block)];
    if (known >= 0)
        return false;
    known = offset;
    ++knownBlocks_;
    return true;
}
