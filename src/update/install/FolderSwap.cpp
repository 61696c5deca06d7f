#include "update/install/FolderSwap.h"

#include "app/ScratchFilesLock.h"
#include "platform/runtime/RuntimeError.h"
#include "update/install/EntryRules.h"
#include "update/install/InstallPlan.h"
#include "update/install/SwapStep.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QByteArray reserved = EntryRules::reservedFolder;
const QByteArray lockFile = reserved + "/lock";
const QByteArray planFile = reserved + "/plan";
const QByteArray recordFile = reserved + "/installed";
const QByteArray newFile = reserved + "/new"; // what WriteWhole renames into place
const QByteArray trash = reserved + "/trash";
// The plan and the record of the version that leaves, kept beside its files,
// and its version alone, which the menu reads.
const QByteArray keptPlan = "/plan";
const QByteArray keptRecord = "/installed";
const QByteArray keptVersion = "/version";
// No plan or record KORU writes comes near this: the names an archive may
// carry are bounded well below it.
constexpr qint64 maximumText = 64 * 1024 * 1024;
// How often a bounded wait for the lock looks again.
constexpr int lockRetryMs = 250;

FolderSwap::Say waitingNotice;
std::optional<std::chrono::seconds> waitAtMost;

QByteArray Kept(const QByteArray& folder, const QByteArray& name) {
    return folder + '/' + name;
}

} // namespace

const QByteArray FolderSwap::stage = reserved + "/stage";
const QByteArray FolderSwap::aside = reserved + "/aside";
const QByteArray FolderSwap::previous = reserved + "/previous";

bool FolderSwap::Present(const QString& vantoFolder) {
    return QFileInfo(QDir(vantoFolder).filePath(QString::fromLatin1(reserved))).isDir();
}

void FolderSwap::SetWaiting(Say notice, std::optional<std::chrono::seconds> atMost) {
    waitingNotice = std::move(notice);
    waitAtMost = atMost;
}

FolderSwap::FolderSwap(const QString& vantoFolder, Say say)
    : vantoFolder_(vantoFolder), folder_(vantoFolder), say_(std::move(say)) {}

FolderSwap::~FolderSwap() = default;

bool FolderSwap::Lock(bool create) {
    if (lock_.Valid())
        return true;
    if (!folder_.Exists(reserved)) {
        if (!create)
            return false;
        folder_.MakeFolder(reserved, 0755);
    }
    const Say& waiting = waitingNotice ? waitingNotice : say_;
    scratch_ = std::make_unique<ScratchFilesLock>(
        [&waiting] { waiting("Another KORU uses VANTO's folder; waiting for it to finish."); });
    if (!scratch_->Held())
        throw RuntimeError(RuntimeErrors::pathFileAccess,
                           "KORU ended before it had VANTO's folder to itself.", "FolderSwap");
    // Only a KORU that may write here opens the lock, and others cannot read
    // it: a lock any reader could hold would stall every KORU.
    OpenDescriptor lock = folder_.Open(lockFile, O_RDWR | O_CREAT | O_NONBLOCK, 0600);
    struct stat st {};
    if (!lock.Valid() || ::fstat(lock.Get(), &st) != 0)
        BeneathFolder::Fail("opening the lock file " + lockFile);
    if (!S_ISREG(st.st_mode))
        throw RuntimeError(RuntimeErrors::badRecordNumber,
                           DamagedText(lockFile + " is not a regular file"), "FolderSwap");
    if ((st.st_mode & 077) != 0 && st.st_uid == ::geteuid())
        ::fchmod(lock.Get(), 0600);
    if (::flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
        waiting("Another KORU is installing, restoring or recovering VANTO; waiting for it to "
                "finish.");
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + waitAtMost.value_or(std::chrono::seconds(0));
        while (::flock(lock.Get(), waitAtMost ? LOCK_EX | LOCK_NB : LOCK_EX) != 0) {
            if (errno != EINTR && errno != EWOULDBLOCK)
                BeneathFolder::Fail("locking " + lockFile);
            if (errno == EWOULDBLOCK && Clock::now() >= deadline)
                throw RuntimeError(RuntimeErrors::pathFileAccess,
                                   "Another KORU kept VANTO's folder for " +
                                       QByteArray::number(qint64(waitAtMost->count())) +
                                       " seconds; KORU gave up waiting for it.",
                                   "FolderSwap");
            if (errno == EWOULDBLOCK)
                ::poll(nullptr, 0, lockRetryMs);
        }
    }
    lock_ = std::move(lock);
    return true;
}

std::optional<QByteArray> FolderSwap::Read(const QByteArray& path) const {
    // Without blocking: a FIFO put there must not hang every start.
    const OpenDescriptor fd = folder_.Open(path, O_RDONLY | O_NONBLOCK);
    if (!fd.Valid() && errno == ENOENT)
        return std::nullopt;
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0)
        BeneathFolder::Fail("reading " + path);
    if (!S_ISREG(st.st_mode) || st.st_size > maximumText)
        throw RuntimeError(RuntimeErrors::badRecordNumber,
                           DamagedText(path + (S_ISREG(st.st_mode) ? " is larger than KORU writes"
                                                                   : " is not a regular file")),
                           "FolderSwap");
    QByteArray text(qsizetype(st.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t got = ::read(fd.Get(), text.data() + done, size_t(text.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            BeneathFolder::Fail("reading " + path);
        if (got == 0)
            break;
        done += got;
    }
    text.truncate(done);
    return text;
}

void FolderSwap::WriteWhole(const QByteArray& path, const QByteArray& bytes) const {
    {
        const OpenDescriptor fd = folder_.Open(newFile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (!fd.Valid() ||
            ::write(fd.Get(), bytes.constData(), size_t(bytes.size())) != bytes.size() ||
            ::fsync(fd.Get()) != 0)
            BeneathFolder::Fail("writing " + newFile);
    }
    folder_.Rename(newFile, path);
    folder_.SyncFolder(path.left(path.lastIndexOf('/')));
}

std::optional<SwapPlan::Record> FolderSwap::Installed() const {
    const std::optional<QByteArray> text = Read(recordFile);
    if (!text)
        return std::nullopt;
    auto record = SwapPlan::Record::Parse(*text);
    if (!record)
        throw RuntimeError(RuntimeErrors::badRecordNumber, DamagedText(), "FolderSwap");
    return record;
}

std::optional<SwapPlan> FolderSwap::PreviousPlan() const {
    const std::optional<QByteArray> text = Read(previous + keptPlan);
    return text ? SwapPlan::Parse(*text) : std::nullopt;
}

std::optional<QByteArray> FolderSwap::PreviousVersion() const {
    if (std::optional<QByteArray> version = Read(previous + keptVersion))
        return version->trimmed();
    const std::optional<QByteArray> text = Read(previous + keptPlan);
    if (!text)
        return std::nullopt;
    const std::optional<SwapPlan> plan = SwapPlan::Parse(*text);
    if (!plan)
        throw RuntimeError(RuntimeErrors::badRecordNumber,
                           "The plan of the version KORU kept is damaged.", "FolderSwap");
    return plan->oldVersion;
}

std::optional<SwapPlan::Record> FolderSwap::PreviousRecord() const {
    const std::optional<QByteArray> text = Read(previous + keptRecord);
    return text ? SwapPlan::Record::Parse(*text) : std::nullopt;
}

QByteArray FolderSwap::DamagedText(const QByteArray& why) const {
    return "The install plan or record in " + QFile::encodeName(vantoFolder_) + '/' + reserved +
           " is damaged" + (why.isEmpty() ? QByteArray() : " (" + why + ')') +
           "; KORU changes nothing in VANTO's folder until it is looked at.";
}

void FolderSwap::MakeAside() {
    folder_.RemoveTree(aside);
    folder_.MakeFolder(aside, 0700);
    if (const std::optional<QByteArray> record = Read(recordFile))
        WriteWhole(aside + keptRecord, *record);
}

void FolderSwap::Run(const SwapPlan& plan) {
    const QByteArray text = plan.Text();
    WriteWhole(aside + keptVersion, plan.oldVersion + '\n');
    WriteWhole(aside + keptPlan, text);
    WriteWhole(planFile, text);
    SwapStep::Passed();
    say_("Planned: " + InstallPlan::Counted(plan.files.size(), "file") + " to move, " +
         InstallPlan::Counted(plan.createdFolders.size(), "folder") + " to create.");
    Swap(plan);
    WriteWhole(recordFile, plan.Committed().Text());
    SwapStep::Passed();
    Finish();
}

quint64 FolderSwap::Inode(const QByteArray& path) const {
    struct stat st {};
    return folder_.Stat(path, st) ? quint64(st.st_ino) : 0;
}

QByteArray FolderSwap::FromFile(const SwapPlan& plan, const SwapPlan::File& file) const {
    return Kept(plan.from, file.source);
}

void FolderSwap::Swap(const SwapPlan& plan) const {
    for (const QByteArray& folder : plan.createdFolders) {
        folder_.MakeFolder(folder, 0755);
        SwapStep::Passed();
    }
    qint64 moved = 0;
    for (const SwapPlan::File& file : plan.files) {
        if (file.Leaves()) {
            folder_.Rename(file.path, Kept(aside, 'f' + QByteArray::number(file.number)));
            SwapStep::Passed();
        }
        if (file.Arrives()) {
            folder_.Rename(FromFile(plan, file), file.path);
            SwapStep::Passed();
            ++moved;
        }
    }
    for (const QByteArray& folder : plan.removedFolders) {
        folder_.RemoveEmptyFolder(folder);
        SwapStep::Passed();
    }
    folder_.SyncAll();
    SwapStep::Passed();
    say_("Swapped: " + InstallPlan::Counted(moved, "file") + " in place, VANTO.ini last.");
}

void FolderSwap::Undo(const SwapPlan& plan) const {
    for (auto folder = plan.removedFolders.crbegin(); folder != plan.removedFolders.crend();
         ++folder) {
        if (!folder_.Exists(*folder)) {
            folder_.MakeFolder(*folder, 0755);
            SwapStep::Passed();
        }
    }
    // Backwards, so VANTO.ini goes back first.
    for (auto file = plan.files.crbegin(); file != plan.files.crend(); ++file) {
        const QByteArray kept = Kept(aside, 'f' + QByteArray::number(file->number));
        if (file->Arrives() && Inode(file->path) == file->sourceInode) {
            folder_.Rename(file->path, FromFile(plan, *file));
            SwapStep::Passed();
        }
        // The old file wins over whatever took its path meanwhile.
        if (file->Leaves() && Inode(kept) == file->oldInode) {
            folder_.Rename(kept, file->path);
            SwapStep::Passed();
        }
    }
    for (auto folder = plan.createdFolders.crbegin(); folder != plan.createdFolders.crend();
         ++folder) {
        if (folder_.RemoveEmptyFolder(*folder))
            SwapStep::Passed();
    }
    folder_.RemoveTree(stage);
    folder_.RemoveTree(aside);
    folder_.SyncAll();
    SwapStep::Passed();
    folder_.RemoveTree(planFile);
    folder_.SyncFolder(reserved);
    SwapStep::Passed();
}

void FolderSwap::Finish() const {
    // The aside folder is there until it becomes the kept version; the older
    // kept version goes only then, by one rename out of the way.
    if (folder_.Exists(aside)) {
        if (folder_.Exists(previous)) {
            folder_.Rename(previous, trash);
            SwapStep::Passed();
        }
        folder_.Rename(aside, previous);
        folder_.SyncFolder(reserved);
        SwapStep::Passed();
    }
    folder_.RemoveTree(trash);
    folder_.RemoveTree(stage);
    SwapStep::Passed();
    folder_.RemoveTree(planFile);
    folder_.SyncFolder(reserved);
    SwapStep::Passed();
}

bool FolderSwap::ClearLeftovers() const {
    bool any = false;
    for (const QByteArray& path : {stage, aside, trash, newFile}) {
        if (folder_.Exists(path)) {
            folder_.RemoveTree(path);
            any = true;
        }
    }
    return any;
}

FolderSwap::Recovery FolderSwap::Recover() {
    if (!lock_.Valid() && folder_.Exists(reserved) &&
        ::faccessat(folder_.Descriptor(), reserved.constData(), W_OK | X_OK, AT_EACCESS) != 0) {
        const QByteArray why = std::strerror(errno);
        try {
            if (!folder_.Exists(planFile))
                return Recovery::Nothing;
        } catch (const RuntimeError& e) {
            // Who may not look in it cannot settle it either; what they can do goes on.
            say_("KORU may not look into " + reserved +
                 "/, so it leaves whatever is there to a user who may: " + e.Description());
            return Recovery::Nothing;
        }
        say_(DamagedText("an install was interrupted, and KORU may not write in " + reserved +
                         " to settle it: " + why));
        return Recovery::Damaged;
    }
    if (!Lock(false))
        return Recovery::Nothing;
    const std::optional<QByteArray> text = Read(planFile);
    if (!text) {
        if (ClearLeftovers())
            SwapStep::Passed();
        return Recovery::Nothing;
    }
    const std::optional<SwapPlan> plan = SwapPlan::Parse(*text);
    const std::optional<QByteArray> recordText = Read(recordFile);
    const std::optional<SwapPlan::Record> record =
        recordText ? SwapPlan::Record::Parse(*recordText) : std::nullopt;
    if (!plan || (recordText && !record) || (plan->from != stage && plan->from != previous)) {
        say_(DamagedText());
        return Recovery::Damaged;
    }
    const QByteArray what = "An interrupted " + plan->kind + " of VANTO " + plan->newVersion;
    if (record && record->token == plan->token) {
        Finish();
        say_(what + " was finished.");
        return Recovery::Finished;
    }
    Undo(*plan);
    say_(what + " was undone.");
    return Recovery::Undone;
}
