// One minisign public key of the publisher's: a line of VANTO's key file,
// built in by the maker, or named by the key chain.
#pragma once

#include "update/formats/FolderPaths.h"

#include <QByteArray>
#include <QString>

class UpdateKey {
public:
    // Where the key file lives, relative to VANTO's folder.
    static constexpr const char* relativePath = FolderPaths::updateKey;
    // How its refusals start.
    static constexpr char fileWhere[] = "The update key file files/koru/update.pub";
    static constexpr qsizetype publicKeySize = 32;

    // No key: downloads stay as they are.
    UpdateKey() = default;

    // The two lines `minisign -G` writes: an untrusted comment and the key
    // line. VANTO's key file itself, which may hold several keys, is read by
    // TrustedKeys.
    static UpdateKey FromFileText(const QByteArray& text);
    // The base64 key line alone.
    static UpdateKey FromKeyLine(const QByteArray& line);
    // The same, a refusal naming `where` ("The key chain link keys/2.txt").
    static UpdateKey FromLine(const QByteArray& line, const QByteArray& where);

    // The key line given at build time; empty when none was.
    static QByteArray BuiltInKeyLine();

    // True for a key given at all, usable or not.
    bool Present() const { return present_; }
    // True when present and well formed.
    bool Usable() const { return present_ && problem_.isEmpty(); }
    // Why a present key cannot be used: a sentence for the log.
    const QByteArray& Problem() const { return problem_; }

    // 8 bytes, as in the signatures it made.
    const QByteArray& KeyId() const { return keyId_; }
    // The 32-byte Ed25519 public key.
    const QByteArray& PublicKey() const { return publicKey_; }

private:
    static UpdateKey Refused(const QByteArray& where, const QByteArray& why);

    bool present_ = false;
    QByteArray problem_;
    QByteArray keyId_;
    QByteArray publicKey_;
};
