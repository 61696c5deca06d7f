#include "update/install/FolderRoom.h"

#include "update/formats/SizeText.h"

#include <QFile>
#include <limits>
#include <sys/statvfs.h>

namespace {

constexpr qint64 marginBytes = 16 * 1024 * 1024;
constexpr qint64 marginInodes = 16;
constexpr qint64 unlimited = std::numeric_limits<qint64>::max() / 4;

// Declared sizes come from the archive, so the sums saturate rather than wrap.
qint64 Add(qint64 a, qint64 b) {
    return a > unlimited - b ? unlimited : a + b;
}

} // namespace

FolderRoom FolderRoom::Of(const QString& folder) {
    struct statvfs fs {};
    if (::statvfs(QFile::encodeName(folder).constData(), &fs) != 0)
        return {unlimited, -1, 4096};
    FolderRoom room;
    room.blockSize = fs.f_frsize > 0 ? qint64(fs.f_frsize) : 4096;
    const auto bytes = static_cast<unsigned long long>(fs.f_bavail) *
                       static_cast<unsigned long long>(room.blockSize);
    room.freeBytes = qint64(std::min(bytes, static_cast<unsigned long long>(unlimited)));
    room.freeInodes = fs.f_files == 0 ? -1 : qint64(fs.f_favail);
    return room;
}

qint64 FolderRoom::NeededBytes(qint64 newBytes, qint64 files, qint64 keptBytes) const {
    // Each file's last block is whole on disk.
    const qint64 onDisk =
        Add(Add(newBytes, std::min(files, unlimited / blockSize) * blockSize), keptBytes);
    return Add(Add(onDisk, onDisk / 10), marginBytes);
}

qint64 FolderRoom::NeededInodes(qint64 entries) {
    return entries + entries / 10 + marginInodes;
}

QByteArray FolderRoom::Problem(qint64 newBytes, qint64 files, qint64 keptBytes,
                               qint64 entries) const {
    const qint64 bytes = NeededBytes(newBytes, files, keptBytes);
    if (bytes > freeBytes)
        return "There is not enough free space for the update in VANTO's folder: it needs " +
               SizeText(bytes) + ", and " + SizeText(freeBytes) + " are free.";
    const qint64 inodes = NeededInodes(entries);
    if (freeInodes >= 0 && inodes > freeInodes)
        return "There are not enough free inodes for the update in VANTO's folder: it needs " +
               QByteArray::number(inodes) + ", and " + QByteArray::number(freeInodes) +
               " are free.";
    return {};
}
