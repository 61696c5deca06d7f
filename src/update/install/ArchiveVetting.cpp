#include "update/install/ArchiveVetting.h"

#include "update/formats/FolderPaths.h"
#include "update/formats/SizeText.h"
#include "update/formats/VersionFiles.h"
#include "update/install/EntryRules.h"
#include "update/install/HeaderNames.h"
#include "update/install/ImpliedFolders.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

namespace {

using Entry = InstallPlan::Entry;
using Sink = ArchiveVetting::Sink;

struct ZipDiscard {
    void operator()(zip_t* zip) const { zip_discard(zip); }
};
using Zip = std::unique_ptr<zip_t, ZipDiscard>;

struct ZipFileClose {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

InstallPlan Refused(QByteArray problem) {
    InstallPlan plan;
    plan.problem = std::move(problem);
    return plan;
}

InstallPlan EntryRefused(const QByteArray& name, const QByteArray& why) {
    return Refused("The archive's entry \"" + EntryRules::Shown(name) + "\" " + why + '.');
}

// libzip keeps the descriptor it opens, so it gets a copy of ours; the copy
// shares the open file, which therefore cannot be swapped for another.
Zip Open(int fd, int flags, int& error) {
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0 || ::lseek(copy, 0, SEEK_SET) != 0) {
        error = ZIP_ER_READ;
        if (copy >= 0)
            ::close(copy);
        return nullptr;
    }
    zip_t* zip = zip_fdopen(copy, flags, &error);
    if (zip == nullptr)
        ::close(copy);
    return Zip(zip);
}

QByteArray ErrorText(int error) {
    zip_error_t zipError;
    zip_error_init_with_code(&zipError, error);
    const QByteArray text = zip_error_strerror(&zipError);
    zip_error_fini(&zipError);
    return text;
}

QByteArray RawName(zip_t* zip, zip_uint64_t index) {
    const char* name = zip_get_name(zip, index, ZIP_FL_ENC_RAW);
    return name == nullptr ? QByteArray() : QByteArray(name);
}

// The consistency check refuses a name twice without naming it; a lenient
// reading finds it for the reason.
InstallPlan Duplicate(int fd) {
    int error = 0;
    const Zip zip = Open(fd, ZIP_RDONLY, error);
    std::set<QByteArray> seen;
    for (zip_int64_t i = 0; zip && i < zip_get_num_entries(zip.get(), 0); ++i) {
        const QByteArray name = RawName(zip.get(), zip_uint64_t(i));
        if (!seen.insert(name).second)
            return Refused("The archive names \"" + EntryRules::Shown(name) + "\" twice.");
    }
    return Refused("The archive names an entry twice.");
}

// An entry's facts from the central directory, or why it is refused.
InstallPlan ReadEntries(zip_t* zip, int fd, QList<QByteArray>& names) {
    InstallPlan plan;
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    if (count > EntryRules::maximumEntries)
        return Refused("The archive has " + QByteArray::number(count) +
                       " entries; KORU installs at most " +
                       QByteArray::number(EntryRules::maximumEntries) + '.');
    const std::optional<QList<QByteArray>> headerNames = HeaderNames::Read(fd);
    if (!headerNames || headerNames->size() != count)
        return Refused("The archive's central directory is not where its end record says.");
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = zip_uint64_t(i);
        QByteArray name = RawName(zip, index);
        const bool renamed = name != headerNames->at(qsizetype(i));
        zip_stat_t stat;
        zip_stat_init(&stat);
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip_stat_index(zip, index, ZIP_FL_ENC_RAW, &stat) != 0 ||
            zip_file_get_external_attributes(zip, index, 0, &system, &attributes) != 0)
            return EntryRefused(name, "cannot be read (" + QByteArray(zip_strerror(zip)) + ')');
        const mode_t mode = system == ZIP_OPSYS_UNIX ? mode_t(attributes >> 16) : 0;
        Entry entry;
        entry.index = i;
        entry.folder = name.endsWith('/') || S_ISDIR(mode);
        if (name.endsWith('/'))
            name.chop(1);
        QByteArray why = EntryRules::NameProblem(name);
        if (why.isEmpty())
            why = EntryRules::KindProblem(mode);
        if (why.isEmpty() && stat.encryption_method != ZIP_EM_NONE)
            why = "is encrypted";
        if (why.isEmpty() && !entry.folder &&
            !zip_compression_method_supported(stat.comp_method, 0))
            why = "uses compression method " + QByteArray::number(stat.comp_method) +
                  ", which KORU cannot inflate";
        if (why.isEmpty() && renamed)
            why = "has a Unicode path field that names it otherwise than its header";
        if (!why.isEmpty())
            return EntryRefused(name, why);
        entry.size =
            entry.folder ? 0 : qint64(std::min(stat.size, zip_uint64_t(InstallPlan::maximumSize)));
        entry.mode = EntryRules::InstalledMode(entry.folder, mode);
        entry.path = name;
        names << name;
        plan.entries << entry;
    }
    return plan;
}

// Every entry under one top folder, and no VANTO.ini beside it: the folder
// is VANTO's own, packed with its name, so it goes.
void StripTopFolder(QList<Entry>& entries) {
    if (entries.isEmpty())
        return;
    const QByteArray top = entries.first().path.split('/').first() + '/';
    for (const Entry& entry : entries) {
        const bool isTop = entry.path + '/' == top;
        if (entry.path == FolderPaths::installedVersion || !(entry.path + '/').startsWith(top) ||
            (isTop && !entry.folder))
            return;
    }
    QList<Entry> stripped;
    for (Entry& entry : entries) {
        if (entry.path.size() >= top.size()) {
            entry.path.remove(0, top.size());
            stripped << entry;
        }
    }
    entries = stripped;
}

// What is at `path` in VANTO's folder, links not followed: true when
// something is, false when nothing is; `why` set when it cannot be told.
bool Lstat(const QDir& folder, const QByteArray& path, struct stat& st, QByteArray& why) {
    if (::lstat(QFile::encodeName(folder.filePath(QString::fromUtf8(path))).constData(), &st) == 0)
        return true;
    if (errno != ENOENT && errno != ENOTDIR)
        why = "\"" + EntryRules::Shown(path) + "\" cannot be looked at in VANTO's folder (" +
              std::strerror(errno) + ").";
    return false;
}

// KORU's names, names twice, and files where folders must be, within the
// archive and against VANTO's folder; gathers the folders the entries need,
// within the bounds, and marks what each entry replaces.
QByteArray Conflicts(InstallPlan& plan, const QString& vantoFolder) {
    QList<Entry>& entries = plan.entries;
    std::set<QByteArray> paths;
    std::set<QByteArray> files;
    qint64 nameBytes = 0;
    for (const Entry& entry : entries) {
        if (!paths.insert(entry.path).second)
            return "The archive names \"" + entry.path + "\" twice.";
        if (!entry.folder)
            files.insert(entry.path);
        nameBytes += entry.path.size();
    }
    const QDir folder(vantoFolder);
    ImpliedFolders folders;
    qint64 fileCount = qint64(files.size());
    for (Entry& entry : entries) {
        const QByteArray name = "The archive's entry \"" + entry.path + "\" ";
        QByteArray why = EntryRules::ReservedProblem(entry.path);
        if (!why.isEmpty())
            return name + why + '.';
        for (const QByteArray& parent : folders.Add(entry.path, entry.folder)) {
            if (fileCount + folders.List().size() > EntryRules::maximumEntries ||
                nameBytes + folders.NameBytes() > EntryRules::maximumNameBytes)
                return "The archive's names imply more than " +
                       QByteArray::number(EntryRules::maximumEntries) +
                       " files and folders, or more than " +
                       SizeText(EntryRules::maximumNameBytes) + " of names; KORU installs no more.";
            if (parent == entry.path)
                continue;
            if (files.count(parent) != 0)
                return name + "needs \"" + parent + "\" as a folder, but the archive holds a " +
                       "file by that name.";
            struct stat st {};
            if (Lstat(folder, parent, st, why) && !S_ISDIR(st.st_mode))
                return name + "needs \"" + parent + "\" as a folder, but VANTO's folder has a " +
                       "file or link there.";
            if (!why.isEmpty())
                return why;
        }
        struct stat st {};
        if (!Lstat(folder, entry.path, st, why)) {
            if (!why.isEmpty())
                return why;
            continue;
        }
        if (entry.folder && !S_ISDIR(st.st_mode))
            return name + "is a folder where VANTO's folder has a file or link.";
        if (!entry.folder && S_ISDIR(st.st_mode))
            return name + "is a file where VANTO's folder has a folder.";
        entry.replaces = !entry.folder;
        entry.replacedSize = entry.replaces && S_ISREG(st.st_mode) ? qint64(st.st_size) : 0;
    }
    plan.folders = folders.List();
    return {};
}

// Inflates one entry into `sink`, refusing it the moment it passes its
// declared size, so an archive that inflates without end costs nothing.
QByteArray Inflate(zip_t* zip, const Entry& entry, const Sink& sink) {
    const std::unique_ptr<zip_file_t, ZipFileClose> file(
        zip_fopen_index(zip, zip_uint64_t(entry.index), 0));
    if (!file)
        return "cannot be read (" + QByteArray(zip_strerror(zip)) + ')';
    char buffer[64 * 1024];
    qint64 total = 0;
    for (;;) {
        const qint64 wanted = std::min<qint64>(sizeof buffer, entry.size - total + 1);
        const zip_int64_t got = zip_fread(file.get(), buffer, zip_uint64_t(wanted));
        if (got < 0)
            return "cannot be read (" + QByteArray(zip_file_strerror(file.get())) + ')';
        if (got == 0)
            break;
        total += got;
        if (total > entry.size)
            return "inflates past its declared size of " + QByteArray::number(entry.size) +
                   " bytes";
        sink(buffer, got);
    }
    if (total != entry.size)
        return "ends before its declared size of " + QByteArray::number(entry.size) + " bytes";
    return {};
}

} // namespace

InstallPlan ArchiveVetting::Vet(int fd, const QString& vantoFolder,
                                const QByteArray& offeredVersion, const FolderRoom& room,
                                bool inflateAll) {
    int error = 0;
    const Zip zip = Open(fd, ZIP_RDONLY | ZIP_CHECKCONS, error);
    if (!zip && error == ZIP_ER_EXISTS)
        return Duplicate(fd);
    if (!zip)
        return Refused("The archive is not a zip archive KORU can read (" + ErrorText(error) +
                       ").");
    QList<QByteArray> rawNames;
    InstallPlan plan = ReadEntries(zip.get(), fd, rawNames);
    if (!plan.Installable())
        return plan;
    StripTopFolder(plan.entries);
    plan.problem = Conflicts(plan, vantoFolder);
    if (!plan.Installable())
        return plan;

    const auto ini = std::find_if(plan.entries.begin(), plan.entries.end(), [](const Entry& e) {
        return !e.folder && e.path == FolderPaths::installedVersion;
    });
    if (ini == plan.entries.end())
        return Refused("The archive holds no VANTO.ini at its root.");
    qint64 kept = 0;
    for (const Entry& entry : plan.entries)
        kept += entry.replacedSize;
    plan.problem =
        room.Problem(plan.Bytes(), plan.Files(), kept, plan.Files() + plan.folders.size());
    if (!plan.Installable())
        return plan;

    QByteArray iniStart;
    for (const Entry& entry : plan.entries) {
        if (entry.folder)
            continue;
        const bool isIni = &entry == &*ini;
        if (!isIni && !inflateAll)
            continue;
        const QByteArray why = Inflate(zip.get(), entry, [&](const char* bytes, qint64 size) {
            if (isIni && iniStart.size() < VersionFiles::iniVersionEnd)
                iniStart.append(bytes,
                                std::min(size, VersionFiles::iniVersionEnd - iniStart.size()));
        });
        if (!why.isEmpty())
            return EntryRefused(rawNames[entry.index], why);
    }
    // The check that follows the install must find the version it offered.
    const QByteArray carried = VersionFiles::IniVersionText(iniStart);
    if (iniStart.isEmpty() || carried.trimmed().isEmpty())
        return Refused("The archive's VANTO.ini holds no version.");
    if (!VersionFiles::SameVersion(carried, offeredVersion))
        return Refused("The archive's VANTO.ini carries version \"" + EntryRules::Shown(carried) +
                       "\"; the release list offers " + offeredVersion + '.');
    return plan;
}

QByteArray ArchiveVetting::Unpack(int fd, const InstallPlan& plan,
                                  const std::function<Sink(const Entry&)>& open) {
    int error = 0;
    const Zip zip = Open(fd, ZIP_RDONLY | ZIP_CHECKCONS, error);
    if (!zip)
        return "The archive is not a zip archive KORU can read (" + ErrorText(error) + ").";
    for (const Entry& entry : plan.entries) {
        if (entry.folder)
            continue;
        const QByteArray why = Inflate(zip.get(), entry, open(entry));
        if (!why.isEmpty())
            return EntryRefused(entry.path, why).problem;
    }
    return {};
}
