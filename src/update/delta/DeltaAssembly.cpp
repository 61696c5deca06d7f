// Writes go through pwrite, so copies from the seed and fetched ranges can
// come in any order; the SHA-1 is taken by reading the file back in pieces.
#include "update/delta/DeltaAssembly.h"

#include "platform/runtime/RuntimeError.h"
#include "update/delta/ZsyncControl.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <memory>
#include <openssl/evp.h>
#include <unistd.h>

namespace {

constexpr qsizetype pieceSize = 1024 * 1024;

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

DeltaAssembly::DeltaAssembly(const ZsyncControl& control, int fd) : control_(control), fd_(fd) {}

void DeltaAssembly::CopySeedBlocks(const QString& seedPath,
                                   const std::vector<qint64>& seedOffsets) {
    QFile seed(seedPath);
    if (!seed.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw RuntimeError(RuntimeErrors::pathFileAccess, seedPath.toUtf8());
    const qint64 blocksize = control_.Blocksize();
    QByteArray block(blocksize, Qt::Uninitialized);
    for (qint64 index = 0; index < qint64(seedOffsets.size()); ++index) {
        const qint64 from = seedOffsets[std::size_t(index)];
        if (from < 0)
            continue;
        const qint64 size = std::min(blocksize, control_.Length() - index * blocksize);
        // A block found at the seed's end may reach into its zero padding.
        const qint64 got = seed.seek(from) ? seed.read(block.data(), size) : -1;
        if (got < 0)
            throw RuntimeError(RuntimeErrors::deviceIoError, seedPath.toUtf8());
        std::fill(block.begin() + got, block.begin() + size, '\0');
        const QByteArray failure = Write(index * blocksize, block.constData(), size);
        if (!failure.isEmpty())
            throw RuntimeError(WriteError(), failure, seedPath.toUtf8());
    }
}

QByteArray DeltaAssembly::Write(qint64 offset, const char* data, qsizetype size) {
    if (offset < 0 || size < 0 || offset + size > control_.Length())
        return "bytes beyond the archive's length";
    if (!WriteAll(fd_, data, size, offset))
        return WriteError().description;
    covered_.Add(offset, offset + size);
    return {};
}

QByteArray DeltaAssembly::Check() const {
    if (Covered() != control_.Length())
        return "the server did not send every missing part of the archive";
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          &EVP_MD_CTX_free);
    if (!context || !EVP_DigestInit_ex2(context.get(), EVP_sha1(), nullptr))
        return "OpenSSL cannot compute SHA-1";
    QByteArray piece(pieceSize, Qt::Uninitialized);
    for (qint64 at = 0; at < control_.Length();) {
        const ssize_t got = ::pread(fd_, piece.data(), std::size_t(pieceSize), off_t(at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return "the assembled archive cannot be read back";
        if (!EVP_DigestUpdate(context.get(), piece.constData(), std::size_t(got)))
            return "OpenSSL cannot compute SHA-1";
        at += got;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!EVP_DigestFinal_ex(context.get(), digest, &size))
        return "OpenSSL cannot compute SHA-1";
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
            return "the assembled archive cannot be read back";
        if (std::memcmp(piece.constData(), data + done, std::size_t(got)) != 0)
            return "the archive's bytes differ";
        done += got;
    }
    return {};
}
