// Writes go through pwrite, so copies from the seed and fetched ranges can
// come in any order; the SHA-1 is taken by reading the file back in pieces,
// as far as it is written without a gap, after each write.
#include "update/delta/DeltaAssembly.h"

#include "platform/runtime/RuntimeError.h"
#include "update/delta/ZsyncControl.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

constexpr qsizetype pieceSize = 1024 * 1024;
constexpr const char* noSha1 = "OpenSSL cannot compute SHA-1";
constexpr const char* unreadable = "the assembled archive cannot be read back";

bool WriteAll(int fd, const char* data, qint64 size, qint64 offset) {
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, std::size_t(size), off_t(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
        offset += written;
    }
    return true;
}

// The error of the write that just failed, as its errno tells it.
const RuntimeErrorCode& WriteError() {
    return errno == ENOSPC ? RuntimeErrors::diskFull : RuntimeErrors::deviceIoError;
}

} // namespace

DeltaAssembly::DeltaAssembly(const ZsyncControl& control, int fd)
    : control_(control), fd_(fd), sha1_(EVP_MD_CTX_new(), &EVP_MD_CTX_free) {
    if (!sha1_ || !EVP_DigestInit_ex2(sha1_.get(), EVP_sha1(), nullptr))
        hashFailure_ = noSha1;
}

void DeltaAssembly::CopySeedBlocks(const QString& seedPath,
                                   const std::vector<qint64>& seedOffsets) {
    QFile seed(seedPath);
    if (!seed.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw RuntimeError(RuntimeErrors::pathFileAccess, seedPath.toUtf8());
    const qint64 blocksize = control_.Blocksize();
    const qint64 blocks = qint64(seedOffsets.size());
    const qint64 runBlocks = std::max<qint64>(1, pieceSize / blocksize);
    QByteArray run(runBlocks * blocksize, Qt::Uninitialized);
    for (qint64 index = 0; index < blocks;) {
        const qint64 from = seedOffsets[std::size_t(index)];
        if (from < 0) {
            ++index;
            continue;
        }
        // Blocks that follow each other in the seed too are copied in one go.
        qint64 count = 1;
        while (count < runBlocks && index + count < blocks &&
               seedOffsets[std::size_t(index + count)] == from + count * blocksize)
            ++count;
        const qint64 size = std::min(count * blocksize, control_.Length() - index * blocksize);
        // A block found at the seed's end may reach into its zero padding.
        const qint64 got = seed.seek(from) ? seed.read(run.data(), size) : -1;
        if (got < 0)
            throw RuntimeError(RuntimeErrors::deviceIoError, seedPath.toUtf8());
        std::fill(run.begin() + got, run.begin() + size, '\0');
        if (!Put(index * blocksize, run.constData(), size))
            throw RuntimeError(WriteError(), WriteError().description, seedPath.toUtf8());
        index += count;
    }
    HashOn();
}

QByteArray DeltaAssembly::Write(qint64 offset, const char* data, qsizetype size) {
    if (offset < 0 || size < 0 || offset + size > control_.Length())
        return "bytes beyond the archive's length";
    if (!Put(offset, data, size))
        return WriteError().description;
    HashOn();
    return {};
}

bool DeltaAssembly::Put(qint64 offset, const char* data, qsizetype size) {
    if (!WriteAll(fd_, data, size, offset))
        return false;
    // Bytes written again below the hashed ones may differ: the hash starts over.
    if (offset < hashed_ && size > 0 && hashFailure_.isEmpty()) {
        hashed_ = 0;
        if (!EVP_DigestInit_ex2(sha1_.get(), EVP_sha1(), nullptr))
            hashFailure_ = noSha1;
    }
    covered_.Add(offset, offset + size);
    return true;
}

void DeltaAssembly::HashOn() {
    const qint64 reach = covered_.Reach(hashed_);
    if (reach <= hashed_ || !hashFailure_.isEmpty())
        return;
    QByteArray piece(std::min<qint64>(pieceSize, reach - hashed_), Qt::Uninitialized);
    while (hashed_ < reach) {
        const ssize_t got =
            ::pread(fd_, piece.data(), std::size_t(std::min<qint64>(piece.size(), reach - hashed_)),
                    off_t(hashed_));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            hashFailure_ = unreadable;
            return;
        }
        if (!EVP_DigestUpdate(sha1_.get(), piece.constData(), std::size_t(got))) {
            hashFailure_ = noSha1;
            return;
        }
        hashed_ += got;
    }
}

QByteArray DeltaAssembly::Check() const {
    if (Covered() != control_.Length())
        return "the server did not send every missing part of the archive";
    if (!hashFailure_.isEmpty())
        return hashFailure_;
    // Every byte is written, so every byte is hashed; a copy keeps the running hash.
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> final(EVP_MD_CTX_new(),
                                                                        &EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!final || !EVP_MD_CTX_copy_ex(final.get(), sha1_.get()) ||
        !EVP_DigestFinal_ex(final.get(), digest, &size))
        return noSha1;
    if (QByteArray(reinterpret_cast<const char*>(digest), int(size)) != control_.Sha1())
        return "the assembled archive's SHA-1 is not the control file's";
    return {};
}

QByteArray DeltaAssembly::Compare(qint64 offset, const char* data, qsizetype size) const {
    if (offset < 0 || size < 0 || offset + size > control_.Length())
        return "bytes beyond the archive's length";
    QByteArray piece(std::min(size, pieceSize), Qt::Uninitialized);
    for (qsizetype done = 0; done < size;) {
        const ssize_t got = ::pread(
            fd_, piece.data(), std::size_t(std::min(size - done, pieceSize)), off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return unreadable;
        if (std::memcmp(piece.constData(), data + done, std::size_t(got)) != 0)
            return "the archive's bytes differ";
        done += got;
    }
    return {};
}
