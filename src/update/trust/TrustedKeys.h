// The minisign public keys KORU trusts at one epoch: from update.pub or the
// built-in key, from a key chain link, or from the trust store. A key file
// holds one key per line pair (an untrusted comment, then the key line), so a
// maker can ship the current key and the next one.
#pragma once

#include "update/trust/UpdateKey.h"

#include <QByteArray>
#include <QList>
#include <QString>

class TrustedKeys {
public:
    // Key files are a hundred bytes a key; a large file is not one.
    static constexpr qsizetype maximumSize = 16 * 1024;

    // No keys: nothing is verified.
    TrustedKeys() = default;

    // Line pairs as `minisign -G` writes them, one after another; `where`
    // starts a refusal ("The update key file files/koru/update.pub").
    static TrustedKeys FromFileText(const QByteArray& text, const QByteArray& where);
    // Base64 key lines separated by blanks or line ends (the built-in key,
    // the trust store).
    static TrustedKeys FromKeyLines(const QByteArray& lines, const QByteArray& where);
    // The key file under `vantoFolder` when there is one (read even when it
    // is malformed, so a check or download can say why; anything but a
    // regular file is refused unopened), else the built-in key lines when not
    // empty, else no keys. The one reader of that file.
    static TrustedKeys
    ForVantoFolder(const QString& vantoFolder,
                   const QByteArray& builtInKeyLines = UpdateKey::BuiltInKeyLine());

    // True for a key file or built-in key, usable or not.
    bool Present() const { return present_; }
    bool Usable() const { return present_ && problem_.isEmpty(); }
    // Why present keys cannot be used: a sentence for the log.
    const QByteArray& Problem() const { return problem_; }

    const QList<UpdateKey>& Keys() const { return keys_; }
    // The key with this 8-byte id; nothing when it is not trusted.
    const UpdateKey* Find(const QByteArray& keyId) const;

    // One base64 key line per key, each ended by a line end.
    QByteArray KeyLines() const;
    // The keys as a key file: a comment naming each key's id, then its line.
    QByteArray FileText() const;

private:
    static TrustedKeys Refused(const QByteArray& problem);

    bool present_ = false;
    QByteArray problem_;
    QList<UpdateKey> keys_;
};
