// Finds the target's blocks in a seed file (the previous archive): the rolling
// sum at every offset of the seed, looked up among the control file's blocks,
// each candidate confirmed by its MD4. When the control file asks for two
// matches in a row, the sums of a block and the block after it are looked up
// as a pair and both MD4s must agree.
//
// The scan runs in slices (Step) so the UI thread can drive it from the event
// loop; the seed is read in pieces of a few MiB, never whole.
#pragma once

#include "update/delta/Md4Digest.h"

#include <QFile>
#include <cstdint>
#include <utility>
#include <vector>

class ZsyncControl;

class DeltaScan {
public:
    static constexpr qint64 pieceSize = 4 * 1024 * 1024;
    // Seed offsets Step looks at per call when the caller has no better idea:
    // some 10 ms of work on a slow machine, so a window stays responsive.
    static constexpr qint64 defaultBudget = 1024 * 1024;

    // Opens the seed; raises RuntimeError when it cannot be read or OpenSSL
    // has no MD4. `control` must outlive the scan.
    DeltaScan(const ZsyncControl& control, const QString& seedPath);

    // Scans at most `budget` more offsets of the seed. True when the whole
    // seed is scanned. Raises RuntimeError when the seed cannot be read.
    bool Step(qint64 budget = defaultBudget);
    // The whole scan in one call.
    void Run();

    bool Done() const { return position_ >= seedSize_; }
    qint64 Scanned() const { return std::min(position_, seedSize_); }
    qint64 SeedSize() const { return seedSize_; }

    // Per target block: the seed offset it was found at, or -1.
    const std::vector<qint64>& SeedOffsets() const { return seedOffsets_; }
    qint64 KnownBlocks() const { return knownBlocks_; }
    // Bytes of the target the known blocks hold (the last block may be short).
    qint64 KnownBytes() const;

private:
    void BuildIndex();
    bool Fill();
    void StartSums();
    bool TryMatch(const unsigned char* window, qint64 offset, std::uint64_t key);
    bool Know(qint64 block, qint64 offset);

    const ZsyncControl& control_;
    QFile seed_;
    qint64 seedSize_ = 0;
    qint64 blocksize_;
    qint64 window_; // bytes the looked-up sums cover: one or two blocks
    int seqMatches_;
    std::uint32_t mask_;

    // The block index: (sum key, block) sorted by key, and a bit filter of
    // hashed keys that rules out nearly every offset without a search.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> index_;
    std::vector<std::uint64_t> filter_;
    int filterShift_ = 64;

    // The seed from bufferStart_ on, zeros past its end.
    std::vector<unsigned char> buffer_;
    qint64 bufferStart_ = 0;
    qint64 bufferLength_ = 0;

    qint64 position_ = 0;
    std::uint32_t a0_ = 0, b0_ = 0, a1_ = 0, b1_ = 0;
    bool sumsValid_ = false;
    bool secondSummed_ = false; // a1_, b1_ are the sums of the block at position_

    // The digest of the seed's block at lastDigestAt_, taken last.
    qint64 lastDigestAt_ = -1;
    unsigned char lastDigest_[Md4Digest::size] = {};

    std::vector<qint64> seedOffsets_;
    qint64 knownBlocks_ = 0;
    Md4Digest md4_;
};
