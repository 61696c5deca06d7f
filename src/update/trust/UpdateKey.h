// The publisher's key KORU trusts for VANTO's archive: a minisign public key,
// from the key file in VANTO's folder or built in by the maker. Without one,
// archives are not verified.
#pragma once

#include <QByteArray>
#include <QString>

class UpdateKey {
public:
    // Where the key file lives, relative to VANTO's folder.
    static constexpr char relativePath[] = "files/koru/update.pub";
    static constexpr qsizetype publicKeySize = 32;

    // No key: downloads stay as they are.
    UpdateKey() = default;

    // The two lines `minisign -G` writes: an untrusted comment and the key line.
    static UpdateKey FromFileText(const QByteArray& text);
    // The base64 key line alone.
    static UpdateKey FromKeyLine(const QByteArray& line);
    // The same, a refusal naming `where` ("The key chain link keys/2.txt").
    static UpdateKey FromLine(const QByteArray& line, const QByteArray& where);

    // The key file under `vantoFolder` when there is one (read even when it
    // is malformed, so the download can say why), else the built-in key line
    // when not empty, else no key.
    static UpdateKey ForVantoFolder(const QString& vantoFolder,
                                    const QByteArray& builtInKeyLine = BuiltInKeyLine());

    // The key line given at build time; empty when none was.
    static QByteArray BuiltInKeyLine();

    // True for a key file or built-in key, usable or not.
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
