// Vets a zip archive as an image of VANTO's folder before anything is
// written: every entry's name, kind, encryption and compression method, KORU's
// own names, files against folders in the archive and in VANTO's folder,
// VANTO.ini and its version, the room on the disk, and each entry inflated to
// its end, never past its declared size. Read through libzip with its
// consistency check, from a descriptor that stays the caller's, so that the
// bytes vetted are the bytes whose hash was checked.
#pragma once

#include "update/install/FolderRoom.h"
#include "update/install/InstallPlan.h"

#include <QByteArray>
#include <QString>

class ArchiveVetting {
public:
    // The plan for the archive open on `fd` (read from its start), for
    // `vantoFolder` and the version the release list offers, or the reason
    // it is refused.
    static InstallPlan Vet(int fd, const QString& vantoFolder, const QByteArray& offeredVersion,
                           const FolderRoom& room);
};
