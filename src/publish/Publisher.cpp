#include "publish/Publisher.h"

#include "platform/runtime/ReplaceFile.h"
#include "platform/runtime/RuntimeError.h"
#include "publish/FileDigest.h"
#include "update/formats/HelpLinksList.h"
#include "update/formats/VersionFiles.h"
#include "update/trust/ArchiveVerifier.h"
#include "update/trust/KeyChain.h"
#include "update/trust/MinisignText.h"
#include "update/trust/ReleaseList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr char listPath[] = "koru/release.txt";
constexpr char archivePath[] = "vanto.zip";

[[noreturn]] void Refuse(const QByteArray& why) {
    throw RuntimeError(5, why, "koru-publish");
}

QByteArray ReadSmall(const QString& path, qint64 limit) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(75, "Path/File access error", QFile::encodeName(path));
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
    ReplaceFile(FilesPath(filesPath + ".minisig"), key_.Sign(text, trustedComment));
}

bool Publisher::SignArchive(const QByteArray& offeredVersion) const {
    const QString archive = FilesPath(archivePath);
    const QString signature = archive + QStringLiteral(".minisig");
    if (QFileInfo::exists(signature)) {
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

QList<QByteArray> Publisher::ListedPaths() const {
    QList<QByteArray> paths{"koru/killswitch.txt", "koru/vanto_ver.txt", "koru/otherinfo.txt",
                            "koru/koru_helplinks.txt"};
    if (QFileInfo::exists(FilesPath("koru/koru_helplinks.txt"))) {
        const HelpLinksList links =
            HelpLinksList::Parse(ReadSmall(FilesPath("koru/koru_helplinks.txt"), 1024 * 1024));
        for (const QByteArray& name : links.items) {
            if (HelpLinksList::IsFileName(name) && ReleaseList::IsListedPath("koru/" + name))
                paths << "koru/" + name + ".txt"
                      << "koru/" + name + ".gif";
        }
    }
    paths << archivePath << QByteArray(archivePath) + ".zsync";
    return paths;
}

QList<QByteArray> Publisher::Publish(const QDateTime& expires, std::optional<qint64> serial,
                                     bool installable) {
    QList<QByteArray> done;
    ReleaseList list;
    const QString versionFile = FilesPath("koru/vanto_ver.txt");
    if (!QFileInfo::exists(versionFile))
        Refuse("The tree has no files/koru/vanto_ver.txt to take the offered version from.");
    list.offeredVersion = VersionFiles::OfferedVersionText(ReadSmall(versionFile, 4096)).trimmed();
    list.epoch = Epoch();
    RequireTrustedAt(list.epoch);

    qint64 previous = 0;
    if (QFileInfo::exists(FilesPath(listPath))) {
        const ReleaseList old = ReleaseList::Parse(ReadSmall(FilesPath(listPath), 64 * 1024));
        if (!old.Valid() && !serial)
            Refuse("The tree's files/koru/release.txt cannot be read for its serial (" +
                   old.problem + "); give --serial.");
        previous = old.Valid() ? old.serial : 0;
    }
    if (serial && *serial <= previous)
        Refuse("The serial must be above " + QByteArray::number(previous) + ", the tree's last.");
    list.serial = serial.value_or(previous + 1);
    list.expires = expires.toUTC();

    if (QFileInfo::exists(FilesPath(archivePath)) && SignArchive(list.offeredVersion))
        done << "signed files/" + QByteArray(archivePath);
    for (const QByteArray& path : ListedPaths()) {
        const QFileInfo file(FilesPath(path));
        if (!file.isFile())
            continue;
        list.files.append({path, file.size(), FileDigest(file.filePath(), ReleaseList::hashSize)});
    }
    if (installable && list.Find(archivePath) == nullptr)
        Refuse("--installable needs files/" + QByteArray(archivePath) + " in the tree.");
    if (installable)
        list.installable = archivePath;
    const QByteArray text = list.Text();
    const ReleaseList check = ReleaseList::Parse(text);
    if (!check.Valid())
        Refuse(check.problem);
    WriteSigned(listPath, text,
                "koru-release serial " + QByteArray::number(list.serial) + " epoch " +
                    QByteArray::number(list.epoch));
    done << "wrote files/" + QByteArray(listPath) + ": serial " + QByteArray::number(list.serial) +
                ", key epoch " + QByteArray::number(list.epoch) + ", " +
                QByteArray::number(list.files.size()) + " files, valid until " +
                ReleaseList::TimeText(list.expires) +
                (installable ? ", files/" + QByteArray(archivePath) + " installable" : "");
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
