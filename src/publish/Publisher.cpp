#include "publish/Publisher.h"

#include "platform/runtime/ReplaceFile.h"
#include "platform/runtime/RuntimeError.h"
#include "publish/FileDigest.h"
#include "update/formats/FolderPaths.h"
#include "update/formats/HelpLinksList.h"
#include "update/formats/ServerPaths.h"
#include "update/formats/VersionFiles.h"
#include "update/install/ArchiveVetting.h"
#include "update/trust/ArchiveVerifier.h"
#include "update/trust/KeyChain.h"
#include "update/trust/MinisignText.h"
#include "update/trust/ReleaseList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* listPath = ServerPaths::Listed(ServerPaths::releaseList);
constexpr const char* archivePath = ServerPaths::Listed(ServerPaths::archive);

// A server path as the publisher names it in the tree: "files/vanto.zip".
QByteArray InTree(const char* serverPath) {
    return serverPath + 1;
}

[[noreturn]] void Refuse(const QByteArray& why) {
    throw RuntimeError(RuntimeErrors::invalidCall, why, "koru-publish");
}

QByteArray ReadSmall(const QString& path, qint64 limit) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(RuntimeErrors::pathFileAccess, QFile::encodeName(path));
    return file.read(limit);
}

} // namespace

Publisher::Publisher(const QString& tree, KeySource key) : tree_(tree), keySource_(std::move(key)) {
    if (!QFileInfo(FilesPath({})).isDir())
        Refuse("The tree " + QFile::encodeName(tree) + " has no files/ folder.");
}

const SecretKey& Publisher::Key() {
    if (!key_)
        key_.emplace(keySource_());
    return *key_;
}

QString Publisher::FilesPath(const QByteArray& filesPath) const {
    return QDir(tree_).filePath(QStringLiteral("files/") + QString::fromUtf8(filesPath));
}

qint64 Publisher::Epoch() const {
    qint64 epoch = 0;
    while (QFileInfo::exists(FilesPath(KeyChain::LinkPath(epoch + 1))))
        ++epoch;
    return epoch;
}

void Publisher::RequireTrustedAt(qint64 epoch) {
    if (epoch == 0)
        return;
    const QByteArray link = KeyChain::LinkPath(epoch);
    if (!Holds(link))
        Refuse("The tree has no files/" + link + ".");
    const TrustedKeys keys = TrustedKeys::FromFileText(
        ReadSmall(FilesPath(link), TrustedKeys::maximumSize + 1), "files/" + link);
    if (!keys.Usable())
        Refuse(keys.Problem());
    if (keys.Find(Key().KeyId()) == nullptr)
        Refuse("The key " + MinisignText::KeyIdText(Key().KeyId()) + " is not trusted at epoch " +
               QByteArray::number(epoch) + " (files/" + link + ").");
}

void Publisher::WriteSigned(const QByteArray& filesPath, const QByteArray& text,
                            const QByteArray& trustedComment) {
    QDir().mkpath(QFileInfo(FilesPath(filesPath)).absolutePath());
    ReplaceFile(FilesPath(filesPath), text);
    ReplaceFile(FilesPath(filesPath + ServerPaths::signatureEnding),
                Key().Sign(text, trustedComment));
}

bool Publisher::SignArchive(const QByteArray& offeredVersion) {
    const QString archive = FilesPath(archivePath);
    const QString signature = archive + QLatin1String(ServerPaths::signatureEnding);
    if (Holds(QByteArray(archivePath) + ServerPaths::signatureEnding)) {
        ArchiveVerifier verifier;
        const QByteArray unread = verifier.UpdateFromFile(archive, QFileInfo(archive).size());
        if (!unread.isEmpty())
            Refuse(unread);
        if (verifier.Verify(Key().PublicKey(), ReadSmall(signature, 64 * 1024), archive).Verified())
            return false;
    }
    ReplaceFile(signature, Key().SignFile(archive, "VANTO " + offeredVersion));
    return true;
}

void Publisher::RequireInstallable(const QByteArray& offeredVersion,
                                   const QByteArray& program) const {
    const QByteArray named = InTree(ServerPaths::archive);
    const QByteArray path = QFile::encodeName(FilesPath(archivePath));
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw RuntimeError(RuntimeErrors::pathFileAccess, path);
    const auto closeArchive = qScopeGuard([fd] { ::close(fd); });
    // As into a fresh VANTO folder with room to spare: what the archive
    // itself holds decides, not this computer.
    const QTemporaryDir empty;
    if (!empty.isValid())
        Refuse("No empty folder to vet " + named + " against can be made (" +
               empty.errorString().toUtf8() + ").");
    const InstallPlan plan = ArchiveVetting::Vet(fd, empty.path(), offeredVersion,
                                                 FolderRoom{InstallPlan::maximumSize, -1, 4096});
    if (!plan.Installable())
        Refuse("KORU would refuse to install " + named + ". " + plan.problem);
    bool holdsProgram = program.isEmpty();
    for (const InstallPlan::Entry& entry : plan.entries) {
        const QList<QByteArray> parts = entry.path.split('/');
        // zip -r adds to the archive it finds: the old image, top folder and
        // all, would be installed beside the new one.
        if (!entry.folder && parts.size() == 2 && parts[1] == FolderPaths::installedVersion)
            Refuse(named + " holds VANTO.ini both at its root and in " + parts[0] +
                   "/, as when zip adds to an older archive; write a fresh archive.");
        holdsProgram = holdsProgram || (!entry.folder && entry.path == program);
    }
    if (!holdsProgram)
        Refuse("--program names " + program + ", which " + named + " does not install as a file.");
}

bool Publisher::Holds(const QByteArray& filesPath) const {
    const QString path = FilesPath(filesPath);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return false;
    const QByteArray named = "files/" + filesPath;
    // Clients fetch what the server resolves inside the tree: a link that
    // leaves it would list a file the server never sends.
    const QString resolved = info.canonicalFilePath();
    if (resolved.isEmpty())
        Refuse(named + " is a link to nothing.");
    if (!resolved.startsWith(QDir(tree_).canonicalPath() + u'/'))
        Refuse(named + " is a link that leaves the tree; the server does not follow it.");
    // Reading a FIFO would wait for ever, and a device or folder is no file to list.
    struct stat status {};
    if (::stat(QFile::encodeName(resolved).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        Refuse(named + " is not a regular file.");
    return true;
}

QList<QByteArray> Publisher::ListedPaths() const {
    using ServerPaths::Listed;
    QList<QByteArray> paths{Listed(ServerPaths::killSwitch), Listed(ServerPaths::versionFile),
                            Listed(ServerPaths::otherInfo), Listed(ServerPaths::helpLinks)};
    if (Holds(Listed(ServerPaths::helpLinks))) {
        const HelpLinksList links =
            HelpLinksList::Parse(ReadSmall(FilesPath(Listed(ServerPaths::helpLinks)), 1024 * 1024));
        const QByteArray folder = Listed(ServerPaths::koruFolder);
        for (const QByteArray& name : links.items) {
            if (!HelpLinksList::IsFileName(name) || !ReleaseList::IsListedPath(folder + name))
                continue;
            for (const char* ending : {".txt", ".gif"}) {
                // Every user's help links update would fail on the missing file.
                if (!Holds(folder + name + ending))
                    Refuse(InTree(ServerPaths::helpLinks) + " names the help link \"" + name +
                           "\", but the tree has no files/" + folder + name + ending + '.');
                paths << folder + name + ending;
            }
        }
    }
    paths << archivePath << Listed(ServerPaths::archiveControl);
    return paths;
}

QList<QByteArray> Publisher::Publish(const QDateTime& expires, std::optional<qint64> serial,
                                     bool installable, const QByteArray& program) {
    QList<QByteArray> done;
    ReleaseList list;
    const QString versionFile = FilesPath(ServerPaths::Listed(ServerPaths::versionFile));
    if (!Holds(ServerPaths::Listed(ServerPaths::versionFile)))
        Refuse("The tree has no " + InTree(ServerPaths::versionFile) +
               " to take the offered version from.");
    list.offeredVersion = VersionFiles::OfferedVersionText(ReadSmall(versionFile, 4096)).trimmed();
    list.epoch = Epoch();

    qint64 previous = 0;
    if (Holds(listPath)) {
        const ReleaseList old = ReleaseList::Parse(ReadSmall(FilesPath(listPath), 64 * 1024));
        if (!old.Valid() && !serial)
            Refuse("The tree's " + InTree(ServerPaths::releaseList) +
                   " cannot be read for its serial (" + old.problem + "); give --serial.");
        previous = old.Valid() ? old.serial : 0;
    }
    if (serial && *serial <= previous)
        Refuse("The serial must be above " + QByteArray::number(previous) + ", the tree's last.");
    list.serial = serial.value_or(previous + 1);
    list.expires = expires.toUTC();

    for (const QByteArray& path : ListedPaths()) {
        if (!Holds(path))
            continue;
        const QFileInfo file(FilesPath(path));
        list.files.append({path, file.size(), FileDigest(file.filePath(), ReleaseList::hashSize)});
    }
    if (installable && list.Find(archivePath) == nullptr)
        Refuse("--installable needs files/" + QByteArray(archivePath) + " in the tree.");
    if (installable) {
        RequireInstallable(list.offeredVersion, program);
        list.installable = archivePath;
    }
    // A path the list refuses is refused by reading the text back below.
    list.program = program;
    const QByteArray text = list.Text();
    const ReleaseList check = ReleaseList::Parse(text);
    if (!check.Valid())
        Refuse(check.problem);
    RequireTrustedAt(list.epoch);
    // Signed only once every file passed, so a refusal writes nothing.
    if (Holds(archivePath) && SignArchive(list.offeredVersion))
        done << "signed " + InTree(ServerPaths::archive);
    WriteSigned(listPath, text, list.SignedComment());
    done << "wrote " + InTree(ServerPaths::releaseList) + ": serial " +
                QByteArray::number(list.serial) + ", key epoch " + QByteArray::number(list.epoch) +
                ", " + QByteArray::number(list.files.size()) + " files, valid until " +
                ReleaseList::TimeText(list.expires) +
                (installable ? ", " + InTree(ServerPaths::archive) + " installable" : "") +
                (program.isEmpty() ? "" : ", program " + program);
    return done;
}

QList<QByteArray> Publisher::Rotate(const TrustedKeys& next) {
    if (!next.Usable())
        Refuse(next.Present() ? next.Problem() : "No new key was given.");
    const qint64 epoch = Epoch() + 1;
    RequireTrustedAt(epoch - 1);
    const QByteArray link = KeyChain::LinkPath(epoch);
    WriteSigned(link, next.FileText(), KeyChain::LinkComment(epoch));
    return {"wrote files/" + link + " (epoch " + QByteArray::number(epoch) + ", " +
            QByteArray::number(next.Keys().size()) +
            " keys); publish again with one of them to move to it"};
}
