// The archive KORU may install: a regular file whose bytes are the ones a
// verified release list marks installable. Those bytes are copied, as they
// are hashed, into a private file no one else can reach (unnamed, mode 0600):
// vetting and unpacking read the copy, so the archive changed in place after
// its hash was checked changes nothing that is installed. The copy lives in
// memory up to a size, so that the install's flushes of the file system
// never write it to disk.
#pragma once

#include "update/install/OpenDescriptor.h"
#include "update/trust/ReleaseList.h"

#include <QByteArray>
#include <QString>

class InstallableArchive {
public:
    // Whether the checked bytes are kept for reading: a caller that only
    // wants the verdict makes no copy.
    enum class Reading { VerdictOnly, PrivateCopy };

    // Opens `path` and checks its bytes against `list`.
    InstallableArchive(const QString& path, const ReleaseList& list,
                       Reading reading = Reading::PrivateCopy);

    // Why the archive may not be installed; empty when it may.
    const QByteArray& Problem() const { return problem_; }
    // The private copy of the checked bytes, while there is no problem.
    int Descriptor() const { return copy_.Get(); }

private:
    void Check(const ReleaseList& list, int fd, Reading reading);
    // An anonymous file in memory for `size` bytes up to a bound, else an
    // unnamed file in the temporary folder, or one unlinked at once where
    // that file system has no unnamed files.
    static OpenDescriptor PrivateFile(qint64 size);

    QByteArray path_;
    OpenDescriptor copy_;
    QByteArray problem_;
};
