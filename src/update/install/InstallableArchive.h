// The archive KORU may install: a regular file whose bytes, read through one
// open descriptor, are the ones a verified release list marks installable.
// Vetting and unpacking read through that same descriptor, so the file
// cannot be swapped once its hash was checked.
#pragma once

#include "update/trust/ReleaseList.h"

#include <QByteArray>
#include <QString>

class InstallableArchive {
public:
    // Opens `path` and checks its bytes against `list`.
    InstallableArchive(const QString& path, const ReleaseList& list);
    ~InstallableArchive();
    InstallableArchive(const InstallableArchive&) = delete;
    InstallableArchive& operator=(const InstallableArchive&) = delete;

    // Why the archive may not be installed; empty when it may.
    const QByteArray& Problem() const { return problem_; }
    // The open archive, while there is no problem.
    int Descriptor() const { return fd_; }

private:
    void Check(const ReleaseList& list);

    QByteArray path_;
    int fd_ = -1;
    QByteArray problem_;
};
