// The swap itself, for installs and restores alike: the reserved folder's
// lock, the plan written whole before the first rename, renames only (never a
// write into a file VANTO may have mapped), the commit record, the kept
// previous version rotated in only after the commit, and recovery, which
// undoes an uncommitted plan by what the files are (their inodes) and
// finishes a committed one.
#pragma once

#include "update/install/BeneathFolder.h"
#include "update/install/SwapPlan.h"

#include <QString>
#include <chrono>
#include <functional>
#include <optional>

class ScratchFilesLock;

class FolderSwap {
public:
    using Say = std::function<void(const QByteArray&)>;

    // The reserved folder's parts, relative to VANTO's folder.
    static const QByteArray stage;    // the files an install unpacks
    static const QByteArray aside;    // the files a swap moves out of the way
    static const QByteArray previous; // the version kept for a restore

    // Whether VANTO's folder has a reserved folder: one look, nothing opened,
    // since most folders have none.
    static bool Present(const QString& vantoFolder);

    // How a front end hears that KORU waits for another one, at once rather
    // than in its log, and how long it waits at most (none: until the other
    // ends). Until set, the log hears it and the wait has no end.
    static void SetWaiting(Say notice, std::optional<std::chrono::seconds> atMost);

    // Raises pathNotFound when VANTO's folder cannot be opened.
    FolderSwap(const QString& vantoFolder, Say say);
    ~FolderSwap();
    FolderSwap(const FolderSwap&) = delete;
    FolderSwap& operator=(const FolderSwap&) = delete;

    // Takes the scratch lock and the reserved folder's, waiting (and saying
    // so) while another KORU holds them; creates the reserved folder when
    // `create`. False, holding nothing, when there is no reserved folder to
    // lock; raises when it cannot be made or locked, or the wait ran out.
    bool Lock(bool create);

    enum class Recovery { Nothing, Undone, Finished, Damaged };
    // Under the lock: settles what an interrupted swap left. Damaged: a plan
    // or record that is not whole, and nothing was changed. A KORU that may
    // not write in the reserved folder finds nothing to settle where there is
    // no plan, and takes no lock.
    Recovery Recover();
    // Whether this KORU holds the reserved folder's lock.
    bool Locked() const { return lock_.Valid(); }

    // The commit record of the version in the folder; nothing before the
    // first install. Raises when it is damaged.
    std::optional<SwapPlan::Record> Installed() const;
    // The plan that made the kept previous version, if one is kept.
    std::optional<SwapPlan> PreviousPlan() const;
    // The version kept for a restore, read from its short summary (or, kept
    // by an older KORU, its plan); nothing when none is kept. Raises with
    // the reason when it cannot be read.
    std::optional<QByteArray> PreviousVersion() const;
    // The commit record kept with the previous version.
    std::optional<SwapPlan::Record> PreviousRecord() const;

    // With the arriving files in place in `plan.from` and the aside folder
    // made: writes the plan, swaps, commits and rotates the kept version.
    void Run(const SwapPlan& plan);

    // Readies the aside folder, with the record of the version leaving.
    void MakeAside();

    const BeneathFolder& Folder() const { return folder_; }
    // A sentence that names the reserved folder, and why when known.
    QByteArray DamagedText(const QByteArray& why = {}) const;

private:
    // A file of KORU's own, whole; nothing when it is not there. Raises
    // damaged when it is no regular file or larger than any KORU writes.
    std::optional<QByteArray> Read(const QByteArray& path) const;
    // A temporary file, a flush, a rename, a flush of the folder.
    void WriteWhole(const QByteArray& path, const QByteArray& bytes) const;
    void Swap(const SwapPlan& plan) const;
    void Undo(const SwapPlan& plan) const;
    void Finish() const;
    // Removes what an unplanned stage left; true when there was any.
    bool ClearLeftovers() const;
    quint64 Inode(const QByteArray& path) const;
    QByteArray FromFile(const SwapPlan& plan, const SwapPlan::File& file) const;

    QString vantoFolder_;
    BeneathFolder folder_;
    Say say_;
    std::unique_ptr<ScratchFilesLock> scratch_;
    OpenDescriptor lock_;
};
