// VANTO's folder held open, and every path beneath it reached without
// following a link: openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS, or a
// walk of O_NOFOLLOW opens on kernels without it. A symlinked folder on the
// way stops the walk, and so does a part that is empty, ".", ".." or
// absolute, so nothing KORU moves or writes lands outside the folder.
#pragma once

#include "update/install/OpenDescriptor.h"

#include <QByteArray>
#include <QString>
#include <sys/stat.h>
#include <utility>

class BeneathFolder {
public:
    // Raises pathNotFound, with the reason, when `folder` cannot be opened.
    explicit BeneathFolder(const QString& folder);

    int Descriptor() const { return root_.Get(); }
    const QString& Name() const { return name_; }

    // `path` relative to the folder, "" for the folder itself, opened with
    // `flags`; invalid, errno set, when it cannot be reached without a link.
    OpenDescriptor Open(const QByteArray& path, int flags, mode_t mode = 0) const;
    // What is at `path`, a final link not followed; false when nothing is
    // (nor the folders on the way). Raises when a link is on the way.
    bool Stat(const QByteArray& path, struct stat& st) const;
    bool Exists(const QByteArray& path) const;
    // The mount the folder at `path` is on (statx's mount id).
    quint64 MountId(const QByteArray& path) const;

    // Each raises pathFileAccess with a sentence naming the paths.
    void Rename(const QByteArray& from, const QByteArray& to) const;
    void MakeFolder(const QByteArray& path, mode_t mode) const;
    // False when nothing is there or the folder is not empty.
    bool RemoveEmptyFolder(const QByteArray& path) const;
    // Removes `path` and all beneath it; nothing there is no error.
    void RemoveTree(const QByteArray& path) const;
    // Flushes the whole file system the folder is on.
    void SyncAll() const;
    // Flushes the folder at `path` (its entries).
    void SyncFolder(const QByteArray& path) const;

    // Opens by the walk from now on, as kernels without openat2 do (tests).
    static void UseWalk();

    // Raises pathFileAccess: `doing` (a phrase, "renaming x to y") failed with errno.
    [[noreturn]] static void Fail(const QByteArray& doing);

private:
    // The folder holding `path`, opened beneath, and the last name.
    std::pair<OpenDescriptor, QByteArray> Parent(const QByteArray& path) const;
    OpenDescriptor Walk(const QByteArray& path, int flags, mode_t mode) const;
    void RemoveBeneath(int folder) const;

    QString name_;
    OpenDescriptor root_;
};
