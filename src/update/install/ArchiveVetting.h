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
#include <functional>

class ArchiveVetting {
public:
    // The plan for the archive open on `fd` (read from its start), for
    // `vantoFolder` and the version the release list offers, or the reason
    // it is refused.
    static InstallPlan Vet(int fd, const QString& vantoFolder, const QByteArray& offeredVersion,
                           const FolderRoom& room, bool inflateAll = true);
    // `inflateAll` false inflates only VANTO.ini, for a caller that unpacks
    // every entry through Unpack, which checks each as vetting does.

    // An entry's bytes as they are inflated.
    using Sink = std::function<void(const char* bytes, qint64 size)>;
    // Inflates each file of the vetted `plan` from the archive on `fd` into
    // the sink `open` answers for it, never past its declared size; the
    // reason, naming the entry, when one fails.
    static QByteArray Unpack(int fd, const InstallPlan& plan,
                             const std::function<Sink(const InstallPlan::Entry&)>& open);
};
