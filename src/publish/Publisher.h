// What koru-publish does to a server tree: lists and hashes the files KORU
// may fetch in files/koru/release.txt, signs the list and, when needed, the
// archive, and writes the next link of the key chain.
#pragma once

#include "publish/SecretKey.h"
#include "update/trust/TrustedKeys.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class Publisher {
public:
    // Opens the key only once the tree passed every check, so that its
    // password is asked for a tree that will be published.
    using KeySource = std::function<SecretKey()>;

    Publisher(const QString& tree, KeySource key);

    // Writes and signs the release list (serial one above the tree's last,
    // or `serial`, which must be above it) and signs vanto.zip when its
    // signature is missing or does not hold. Answers what was done, a line
    // each. With `installable`, the list marks vanto.zip as an image of
    // VANTO's folder, which KORU may install, and `program` (when given) names
    // VANTO's program in it: the archive is vetted as KORU's install vets it,
    // and must hold the program as a file. Raises RuntimeError with the reason.
    QList<QByteArray> Publish(const QDateTime& expires, std::optional<qint64> serial,
                              bool installable = false, const QByteArray& program = {});

    // Writes keys/N.txt for the next epoch, listing `next`, signed by the
    // key, which must be trusted at the epoch before.
    QList<QByteArray> Rotate(const TrustedKeys& next);

    // The highest epoch whose link the tree holds; 0 when none.
    qint64 Epoch() const;

private:
    const SecretKey& Key();
    QString FilesPath(const QByteArray& filesPath) const;
    // Refuses a key that is not trusted at `epoch` (unknown at epoch 0).
    void RequireTrustedAt(qint64 epoch);
    void WriteSigned(const QByteArray& filesPath, const QByteArray& text,
                     const QByteArray& trustedComment);
    // Signs vanto.zip unless its signature by this key holds; true when it signed.
    bool SignArchive(const QByteArray& offeredVersion);
    // Refuses vanto.zip unless KORU would install it, holding `program` (when
    // given) as a file.
    void RequireInstallable(const QByteArray& offeredVersion, const QByteArray& program) const;
    // True when the tree holds a regular file there; refuses a link out of
    // the tree and anything but a regular file, naming it.
    bool Holds(const QByteArray& filesPath) const;
    QList<QByteArray> ListedPaths() const;

    QString tree_;
    KeySource keySource_;
    std::optional<SecretKey> key_;
};
