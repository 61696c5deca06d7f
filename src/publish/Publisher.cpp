#include "publish/Publisher.h"

#include "platform/runtime/ReplaceFile.h"
#include "platform/runtime/RuntimeError.h"
#include "publish/FileDigest.h"
#include "update/formats/HelpLinksList.h"
#include "update/formats/ServerPaths.h"
#include "update/formats/VersionFiles.h"
#include "update/trust/ArchiveVerifier.h"
#include "update/trust/KeyChain.h"
#include "update/trust/MinisignText.h"
#include "update/trust/ReleaseList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

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

Publisher::Publisher(const QString& tree, const SecretKey& key) : tree_(tree), key_(key) {
    if (!QFileInfo(FilesPath({})).isDir())
        Refuse("The tree " + QFile::encodeName(tree) + " has no files/ folder.");
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

void Publisher::RequireTrustedAt(qint64 epoch) const {
    if (epoch == 0)
        return;
    const QByteArray link = KeyChain::LinkPath(epoch);
    if (!Holds(link))
        Refuse("The tree has no files/" + link + ".");
    const TrustedKeys keys = TrustedKeys::FromFileText(
        ReadSmall(FilesPath(link), TrustedKeys::maximumSize + 1), "files/" + link);
    if (!keys.Usable())
        Refuse(keys.Problem());
    if (keys.Find(key_.KeyId()) == nullptr)
        Refuse("The key " + MinisignText::KeyIdText(key_.KeyId()) + " is not trusted at epoch " +
               QByteArray::number(epoch) + " (files/" + link + ").");
}

void Publisher::WriteSigned(const QByteArray& filesPath, const QByteArray& text,
                            const QByteArray& trustedComment) const {
    QDir().mkpath(QFileInfo(FilesPath(filesPath)).absolutePath());
    ReplaceFile(FilesPath(filesPath), text);
    ReplaceFile(FilesPath(filesPath + ServerPaths::signatureEnding),
                key_.Sign(text, trustedComment));
}

bool Publisher::SignArchive(const QByteArray& offeredVersion) const {
    const QString archive = FilesPath(archivePath);
    const QString signature = archive + QLatin1String(ServerPaths::signatureEnding);
    if (Holds(QByteArray(archivePath) + ServerPaths::signatureEnding)) {
        ArchiveVerifier verifier;
        const QByteArray unread = verifier.UpdateFromFile(archive, QFileInfo(archive).size());
        if (!unread.isEmpty())
            Refuse(unread);
        if (verifier.Verify(key_.PublicKey(), ReadSmall(signature, 64 * 1024), archive).Verified())
            return false;
    }
    ReplaceFile(signature, key_.SignFile(archive, "VANTO " + offeredVersion));
    return true;
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
            if (HelpLinksList::IsFileName(name) && ReleaseList::IsListedPath(folder + name))
                paths << folder + name + ".txt" << folder + name + ".gif";
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
    RequireTrustedAt(list.epoch);

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
    if (installable)
        list.installable = archivePath;
    // A path the list refuses is refused by reading the text back below.
    list.program = program;
    const QByteArray text = list.Text();
    const ReleaseList check = ReleaseList::Parse(text);
    if (!check.Valid())
        Refuse(check.problem);
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
