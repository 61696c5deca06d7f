// Installs a vetted archive into VANTO's folder and restores the version kept
// before it, both through one FolderSwap: what may not be done is refused
// before anything is staged (another mount, a folder or file the user cannot
// write, a sticky folder with others' files, a link on the way), and a
// failure while staging removes the staging area.
#pragma once

#include "update/install/FolderSwap.h"
#include "update/install/InstallPlan.h"

#include <QByteArray>
#include <QString>
#include <functional>

class UpdateInstaller {
public:
    // The exit status of a KORU that found the reserved folder damaged.
    static constexpr int damagedStatus = 4;

    // How far staging has come: files and bytes inflated, of the totals.
    struct Staging {
        qint64 files = 0;
        qint64 ofFiles = 0;
        qint64 bytes = 0;
        qint64 ofBytes = 0;
        // "Staging: 1200 of 2000 files, 52.1 MB of 96.3 MB"
        QByteArray Text() const;
    };
    // Told of staging at most every 100 ms, and with `done` once it has ended,
    // however it ended. A RuntimeError it raises stops the install, which
    // then changes nothing.
    using Progress = std::function<void(const Staging& staging, bool done)>;

    // Raises pathNotFound when VANTO's folder cannot be opened.
    UpdateInstaller(const QString& vantoFolder, FolderSwap::Say say, Progress progress = {});

    // What every start of KORU runs before anything else. Damaged also when
    // recovery failed, said with the reason.
    static FolderSwap::Recovery AtStart(const QString& vantoFolder, const FolderSwap::Say& say);
    FolderSwap::Recovery Recover() { return swap_.Recover(); }

    // Installs `version` from the archive open on `fd`, vetted into `plan`,
    // recording `program` as its VANTO program; the reason, with nothing
    // changed, when it is refused.
    QByteArray Install(int fd, const InstallPlan& plan, const QByteArray& version,
                       const QByteArray& program = {});
    // What Install would refuse before staging, found without locking or
    // writing anything; empty when it would go ahead.
    QByteArray Check(const InstallPlan& plan, const QByteArray& version) const;
    // Swaps the kept previous version back; the reason when it cannot.
    QByteArray Restore();

private:
    // The swap that installs the vetted archive, or the refusal of it.
    SwapPlan PlanInstall(const InstallPlan& vetted, const QByteArray& version,
                         QByteArray& why) const;
    // Why the plan may not be carried out; empty when it may.
    QByteArray Problem(const SwapPlan& plan) const;
    // The folders the arriving files need that are missing, parents first.
    QList<QByteArray> MissingFolders(const QList<QByteArray>& folders) const;
    // A file leaving or arriving at `path`, numbered next, as the folder holds it now.
    SwapPlan::File FileAt(const SwapPlan& plan, const QByteArray& path, const QByteArray& source,
                          quint64 sourceInode) const;
    // Puts VANTO.ini last and adds the files of the last install the new
    // version lacks, as files that only leave.
    void Complete(SwapPlan& plan, const QList<QByteArray>& lastInstalled) const;
    QByteArray RestoreKept();
    QByteArray Stage(int fd, const InstallPlan& plan, SwapPlan& swap, Staging& staging);
    // Runs the swap; when it fails, recovers at once and answers why.
    QByteArray Carry(const SwapPlan& plan);
    QByteArray StagedTo(const InstallPlan::Entry& entry) const;

    FolderSwap swap_;
    FolderSwap::Say say_;
    Progress progress_;
};
