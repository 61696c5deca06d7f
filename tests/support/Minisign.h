// The real minisign program, for tests that need keys and signatures made by
// the tool publishers use.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace Minisign {

// False when the program is not installed (scripts/install-deps installs it).
bool Installed();
// Runs minisign; true when it ended well.
bool Run(const QStringList& arguments);
// Makes a key pair without a password: `base`.pub and `base`.key.
bool MakeKeys(const QString& base);
// The same, the secret key protected by `password` (typed twice on its input).
bool MakeProtectedKeys(const QString& base, const QByteArray& password);
// Signs `file` with the key pair at `base`, in the legacy form when asked;
// the signature goes to `file`.minisig.
bool Sign(const QString& file, const QString& base, const QString& trustedComment,
          bool legacy = false);

// A fresh key pair's public key file and its signature of `bytes`, made in a
// folder that is gone afterwards; empty texts when minisign failed.
struct Signed {
    QByteArray publicKey;
    QByteArray signature;
};
Signed SignBytes(const QByteArray& bytes, const QString& trustedComment, bool legacy = false);

} // namespace Minisign
