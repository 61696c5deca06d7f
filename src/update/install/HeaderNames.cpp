#include "update/install/HeaderNames.h"

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace HeaderNames {

namespace {

constexpr qint64 endSize = 22;
constexpr qint64 longestComment = 0xffff;
constexpr qint64 locatorSize = 20;
constexpr qint64 zip64EndSize = 56;
constexpr qint64 headerSize = 46;

quint64 Number(const QByteArray& bytes, qsizetype at, int width) {
    quint64 value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::optional<QByteArray> ReadAt(int fd, qint64 at, qint64 size, qint64 fileSize) {
    if (at < 0 || size < 0 || at > fileSize || size > fileSize - at)
        return std::nullopt;
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    for (qint64 done = 0; done < size;) {
        const ssize_t got = ::pread(fd, bytes.data() + done, size_t(size - done), at + done);
        if (got <= 0)
            return std::nullopt;
        done += got;
    }
    return bytes;
}

} // namespace

std::optional<QList<QByteArray>> Read(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < endSize)
        return std::nullopt;
    const qint64 fileSize = st.st_size;
    const qint64 tailStart = std::max<qint64>(0, fileSize - endSize - longestComment);
    const std::optional<QByteArray> tail = ReadAt(fd, tailStart, fileSize - tailStart, fileSize);
    if (!tail)
        return std::nullopt;
    const qsizetype end = tail->lastIndexOf("PK\x05\x06");
    if (end < 0 || end + endSize > tail->size())
        return std::nullopt;
    quint64 count = Number(*tail, end + 10, 2);
    quint64 size = Number(*tail, end + 12, 4);
    quint64 offset = Number(*tail, end + 16, 4);
    if (count == 0xffff || size == 0xffffffff || offset == 0xffffffff) {
        const qint64 locator = tailStart + end - locatorSize;
        const auto located = ReadAt(fd, locator, locatorSize, fileSize);
        if (!located || !located->startsWith("PK\x06\x07"))
            return std::nullopt;
        const auto zip64 = ReadAt(fd, qint64(Number(*located, 8, 8)), zip64EndSize, fileSize);
        if (!zip64 || !zip64->startsWith("PK\x06\x06"))
            return std::nullopt;
        count = Number(*zip64, 32, 8);
        size = Number(*zip64, 40, 8);
        offset = Number(*zip64, 48, 8);
    }
    const auto directory = ReadAt(fd, qint64(offset), qint64(size), fileSize);
    if (!directory || count > quint64(directory->size() / headerSize))
        return std::nullopt;
    QList<QByteArray> names;
    qsizetype at = 0;
    for (quint64 i = 0; i < count; ++i) {
        if (at + headerSize > directory->size() || directory->mid(at, 4) != "PK\x01\x02")
            return std::nullopt;
        const auto nameLength = qsizetype(Number(*directory, at + 28, 2));
        const auto rest =
            qsizetype(Number(*directory, at + 30, 2) + Number(*directory, at + 32, 2));
        if (at + headerSize + nameLength > directory->size())
            return std::nullopt;
        names << directory->mid(at + headerSize, nameLength);
        at += headerSize + nameLength + rest;
    }
    return names;
}

} // namespace HeaderNames
