// Room on the file system of VANTO's folder: free bytes and inodes, and
// whether an update fits. What the update needs is the new files' bytes,
// rounded up to whole blocks, and the old files kept aside until it is done,
// plus a margin of a tenth and 16 MiB; and an inode for each new entry, plus a
// tenth and 16.
#pragma once

#include <QByteArray>
#include <QString>

struct FolderRoom {
    qint64 freeBytes = 0;
    qint64 freeInodes = -1; // -1 where the file system counts none
    qint64 blockSize = 4096;

    // The room on the file system holding `folder`; unlimited when it cannot
    // be measured, since the writes themselves will fail then.
    static FolderRoom Of(const QString& folder);

    // The bytes that `newBytes` in `files` files take on disk, with
    // `keptBytes` of old files kept aside and the margin.
    qint64 NeededBytes(qint64 newBytes, qint64 files, qint64 keptBytes) const;
    static qint64 NeededInodes(qint64 entries);

    // Why the update does not fit; empty when it does.
    QByteArray Problem(qint64 newBytes, qint64 files, qint64 keptBytes, qint64 entries) const;
};
