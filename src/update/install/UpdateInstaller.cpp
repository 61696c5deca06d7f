#include "update/install/UpdateInstaller.h"

#include "platform/runtime/RuntimeError.h"
#include "update/formats/FolderPaths.h"
#include "update/formats/SizeText.h"
#include "update/formats/VersionFiles.h"
#include "update/install/ArchiveVetting.h"
#include "update/install/EntryRules.h"
#include "update/install/FolderRoom.h"
#include "update/install/ImpliedFolders.h"
#include "update/install/SwapStep.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <unistd.h>

namespace {

constexpr const char* ini = FolderPaths::installedVersion;
constexpr qint64 progressMs = 100;
constexpr char unchanged[] = " KORU changed nothing and keeps the archive.";

SwapPlan NewPlan(const QByteArray& kind, const QByteArray& from, const QByteArray& oldVersion,
                 const QByteArray& newVersion) {
    SwapPlan plan;
    plan.token = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    plan.kind = kind;
    plan.from = from;
    plan.oldVersion = oldVersion;
    plan.newVersion = newVersion;
    return plan;
}

QByteArray ParentOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray() : path.left(slash);
}

QByteArray Named(const QByteArray& path) {
    return '"' + (path.isEmpty() ? QByteArray("VANTO's folder") : EntryRules::Shown(path)) + '"';
}

} // namespace

QByteArray UpdateInstaller::Staging::Text() const {
    return "Staging: " + QByteArray::number(files) + " of " +
           InstallPlan::Counted(ofFiles, "file") + ", " + SizeText(bytes) + " of " +
           SizeText(ofBytes);
}

UpdateInstaller::UpdateInstaller(const QString& vantoFolder, FolderSwap::Say say, Progress progress)
    : swap_(vantoFolder, say), say_(std::move(say)), progress_(std::move(progress)) {}

FolderSwap::Recovery UpdateInstaller::AtStart(const QString& vantoFolder,
                                              const FolderSwap::Say& say) {
    // Most starts find no reserved folder, and lock nothing.
    if (!FolderSwap::Present(vantoFolder))
        return FolderSwap::Recovery::Nothing;
    FolderSwap::Recovery recovery = FolderSwap::Recovery::Damaged;
    try {
        UpdateInstaller installer(vantoFolder, say);
        recovery = installer.Recover();
        if (recovery == FolderSwap::Recovery::Damaged)
            return recovery;
        // A kept version that cannot be read is no reason not to start: it
        // is simply not offered, and the reason is said once, here.
        if (installer.swap_.Locked())
            installer.swap_.PreviousVersion();
    } catch (const RuntimeError& e) {
        say(recovery == FolderSwap::Recovery::Damaged
                ? e.Description()
                : "KORU cannot read the version it kept for a restore, so it offers none: " +
                      e.Description());
    }
    return recovery;
}

QList<QByteArray> UpdateInstaller::MissingFolders(const QList<QByteArray>& folders) const {
    QList<QByteArray> missing;
    for (const QByteArray& folder : folders) {
        if (!swap_.Folder().Exists(folder))
            missing << folder;
    }
    return missing;
}

SwapPlan::File UpdateInstaller::FileAt(const SwapPlan& plan, const QByteArray& path,
                                       const QByteArray& source, quint64 sourceInode) const {
    SwapPlan::File file{plan.files.size(), source, sourceInode, 0, path};
    struct stat st {};
    if (swap_.Folder().Stat(path, st))
        file.oldInode = quint64(st.st_ino);
    return file;
}

void UpdateInstaller::Complete(SwapPlan& plan, const QList<QByteArray>& lastInstalled) const {
    std::set<QByteArray> arriving;
    for (const SwapPlan::File& file : plan.files)
        arriving.insert(file.path);
    // Only what KORU put there leaves; the user's own files stay.
    for (const QByteArray& path : lastInstalled) {
        struct stat st {};
        if (arriving.count(path) == 0 && swap_.Folder().Stat(path, st) && !S_ISDIR(st.st_mode))
            plan.files << FileAt(plan, path, {}, 0);
    }
    std::stable_partition(plan.files.begin(), plan.files.end(),
                          [](const SwapPlan::File& file) { return file.path != ini; });
}

QByteArray UpdateInstaller::Problem(const SwapPlan& plan) const {
    const BeneathFolder& folder = swap_.Folder();
    // Before the first install the reserved folder is yet to be made beside the files.
    const QByteArray reserved =
        folder.Exists(EntryRules::reservedFolder) ? EntryRules::reservedFolder : "";
    const quint64 mount = folder.MountId(reserved);
    std::set<QByteArray> checked;
    for (const SwapPlan::File& file : plan.files) {
        QByteArray at = ParentOf(file.path);
        while (!at.isEmpty() && !folder.Exists(at))
            at = ParentOf(at);
        const QByteArray relative = at.isEmpty() ? QByteArray(".") : at;
        if (checked.insert(at).second) {
            if (folder.MountId(at) != mount)
                return "The folder " + Named(at) + " is on another mount than " +
                       EntryRules::reservedFolder +
                       "/, and files move between them only by renaming within one." + unchanged;
            if (::faccessat(folder.Descriptor(), relative.constData(), W_OK | X_OK, AT_EACCESS) !=
                0)
                return "KORU may not write in the folder " + Named(at) + " (" +
                       std::strerror(errno) + ")." + unchanged;
        }
        if (!file.Leaves())
            continue;
        struct stat st {};
        struct stat parent {};
        if (folder.Stat(file.path, st) && folder.Stat(relative, parent) &&
            (parent.st_mode & S_ISVTX) != 0 && ::geteuid() != 0 && st.st_uid != ::geteuid() &&
            parent.st_uid != ::geteuid())
            return "The folder " + Named(at) + " is sticky and " + Named(file.path) +
                   " belongs to another user, so KORU may not move it." + unchanged;
        if (::faccessat(folder.Descriptor(), file.path.constData(), W_OK,
                        AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
            return "KORU may not replace " + Named(file.path) + " (" + std::strerror(errno) + ")." +
                   unchanged;
    }
    return {};
}

QByteArray UpdateInstaller::StagedTo(const InstallPlan::Entry& entry) const {
    return 'f' + QByteArray::number(entry.index);
}

QByteArray UpdateInstaller::Stage(int fd, const InstallPlan& vetted, SwapPlan& plan,
                                  Staging& staging) {
    const BeneathFolder& folder = swap_.Folder();
    QHash<QByteArray, SwapPlan::File*> bySource;
    for (SwapPlan::File& file : plan.files)
        bySource.insert(file.source, &file);
    folder.RemoveTree(FolderSwap::stage);
    folder.MakeFolder(FolderSwap::stage, 0700);
    swap_.MakeAside();
    OpenDescriptor staged;
    QElapsedTimer sinceShown;
    const auto show = [&] {
        if (progress_ && (!sinceShown.isValid() || sinceShown.elapsed() >= progressMs)) {
            sinceShown.start();
            progress_(staging, false);
        }
    };
    qint64 opened = 0;
    const QByteArray why = ArchiveVetting::Unpack(fd, vetted, [&](const InstallPlan::Entry& entry) {
        // The file opened before this one is whole.
        staging.files = opened++;
        show();
        const QByteArray path = FolderSwap::stage + '/' + StagedTo(entry);
        staged = folder.Open(path, O_WRONLY | O_CREAT | O_EXCL, 0600);
        struct stat st {};
        // The mode is the one planned, whatever the umask.
        if (!staged.Valid() || ::fchmod(staged.Get(), entry.mode) != 0 ||
            ::fstat(staged.Get(), &st) != 0)
            BeneathFolder::Fail("staging " + path);
        bySource.value(StagedTo(entry))->sourceInode = quint64(st.st_ino);
        SwapStep::Passed();
        return [&, path](const char* data, qint64 size) {
            for (qint64 done = 0; done < size;) {
                const ssize_t wrote = ::write(staged.Get(), data + done, size_t(size - done));
                if (wrote < 0 && errno != EINTR)
                    BeneathFolder::Fail("staging " + path);
                done += std::max<ssize_t>(wrote, 0);
            }
            staging.bytes += size;
            show();
        };
    });
    staged = OpenDescriptor();
    if (!why.isEmpty())
        return why;
    staging.files = opened;
    folder.SyncAll();
    SwapStep::Passed();
    return {};
}

SwapPlan UpdateInstaller::PlanInstall(const InstallPlan& vetted, const QByteArray& version,
                                      QByteArray& why) const {
    const std::optional<SwapPlan::Record> record = swap_.Installed();
    const QByteArray oldVersion =
        record ? record->version
               : VersionFiles::InstalledVersionText(
                     QDir(swap_.Folder().Name()).filePath(QString::fromLatin1(ini)),
                     VersionFiles::Missing::LeftMissing);
    SwapPlan plan = NewPlan("install", FolderSwap::stage, oldVersion, version);
    // Installed again, it would take the place of the only way back.
    if (VersionFiles::SameVersion(oldVersion, version)) {
        why = "VANTO " + version + " is installed already; KORU installs an archive only over " +
              "another version.";
        return plan;
    }
    for (const InstallPlan::Entry& entry : vetted.entries) {
        if (entry.folder)
            continue;
        plan.files << FileAt(plan, entry.path, StagedTo(entry), 0);
        plan.installed << entry.path;
    }
    plan.createdFolders = MissingFolders(vetted.folders);
    Complete(plan, record ? record->files : QList<QByteArray>());
    why = Problem(plan);
    return plan;
}

QByteArray UpdateInstaller::Check(const InstallPlan& vetted, const QByteArray& version) const {
    try {
        QByteArray why;
        PlanInstall(vetted, version, why);
        return why;
    } catch (const RuntimeError& e) {
        return e.Description() + unchanged;
    }
}

QByteArray UpdateInstaller::Install(int fd, const InstallPlan& vetted, const QByteArray& version,
                                    const QByteArray& program) {
    SwapPlan plan;
    QByteArray why;
    try {
        swap_.Lock(true);
        if (swap_.Recover() == FolderSwap::Recovery::Damaged)
            return swap_.DamagedText();
        // Decided under the lock, so that of two installs started together one refuses.
        plan = PlanInstall(vetted, version, why);
        plan.program = program;
    } catch (const RuntimeError& e) {
        return e.Description() + unchanged;
    }
    if (!why.isEmpty())
        return why;
    Staging staging{0, vetted.Files(), 0, vetted.Bytes()};
    try {
        why = Stage(fd, vetted, plan, staging);
    } catch (const RuntimeError& e) {
        why = e.Description();
    }
    if (progress_)
        progress_(staging, true);
    if (!why.isEmpty()) {
        // What was staged goes; the folder itself was not touched.
        swap_.Folder().RemoveTree(FolderSwap::stage);
        swap_.Folder().RemoveTree(FolderSwap::aside);
        return why;
    }
    say_("Staged: " + InstallPlan::Counted(staging.files, "file") + ", " + SizeText(staging.bytes) +
         '.');
    if (const QByteArray failed = Carry(plan); !failed.isEmpty())
        return failed;
    say_("Installed VANTO " + plan.newVersion + " in place of VANTO " + plan.oldVersion +
         ", which is kept for a restore.");
    return {};
}

QByteArray UpdateInstaller::Carry(const SwapPlan& plan) {
    try {
        swap_.Run(plan);
        return {};
    } catch (const RuntimeError& e) {
        // What the swap did is settled now rather than at the next start.
        const bool finished = swap_.Recover() == FolderSwap::Recovery::Finished;
        return e.Description() + (finished ? " The " + plan.kind + " was committed and finished."
                                           : " It was undone: nothing changed.");
    }
}

QByteArray UpdateInstaller::Restore() {
    try {
        return RestoreKept();
    } catch (const RuntimeError& e) {
        return e.Description() + " KORU restored nothing.";
    }
}

QByteArray UpdateInstaller::RestoreKept() {
    const QByteArray none = "KORU keeps no previous version of VANTO to restore.";
    if (!swap_.Lock(false))
        return none;
    if (swap_.Recover() == FolderSwap::Recovery::Damaged)
        return swap_.DamagedText();
    const std::optional<SwapPlan> kept = swap_.PreviousPlan();
    const std::optional<SwapPlan::Record> record = swap_.Installed();
    if (!kept)
        return none;
    if (!record || record->token != kept->token)
        return "The version KORU kept is not the one before the VANTO in the folder; KORU "
               "restores nothing.";
    SwapPlan plan = NewPlan("restore", FolderSwap::previous, record->version, kept->oldVersion);
    ImpliedFolders folders;
    const QSet<QByteArray> installed(record->files.cbegin(), record->files.cend());
    QList<QByteArray> usersOwn;
    for (const SwapPlan::File& file : kept->files) {
        if (!file.Leaves())
            continue;
        const QByteArray source = 'f' + QByteArray::number(file.number);
        struct stat st {};
        if (!swap_.Folder().Stat(FolderSwap::previous + '/' + source, st))
            return "The kept previous version lacks " + Named(file.path) +
                   "; KORU restores nothing.";
        plan.files << FileAt(plan, file.path, source, quint64(st.st_ino));
        if (plan.files.constLast().Leaves() && !installed.contains(file.path))
            usersOwn << file.path;
        folders.Add(file.path, false);
    }
    plan.createdFolders = MissingFolders(folders.List());
    for (auto folder = kept->createdFolders.crbegin(); folder != kept->createdFolders.crend();
         ++folder)
        plan.removedFolders << *folder;
    Complete(plan, record->files);
    if (const auto keptRecord = swap_.PreviousRecord()) {
        plan.installed = keptRecord->files;
        plan.program = keptRecord->program;
    }
    const QByteArray why = Problem(plan);
    if (!why.isEmpty())
        return why;
    swap_.MakeAside();
    if (const QByteArray failed = Carry(plan); !failed.isEmpty())
        return failed;
    for (const SwapPlan::File& file : plan.files)
        say_((file.Arrives() ? "  brings back " : "  moves aside ") + file.path);
    say_("Restored VANTO " + plan.newVersion + " in place of VANTO " + plan.oldVersion +
         "; a second restore brings VANTO " + plan.oldVersion + " back.");
    // Kept with the version that left, they go when the next install rotates it out.
    for (const QByteArray& path : usersOwn)
        say_("Your own file " + Named(path) + ", which the restore replaced, is kept in " +
             FolderSwap::previous + "/ only until the next install.");
    return {};
}
