// A minisign secret key file as `minisign -G` writes it, protected by a
// password (scrypt) or not (`-W`), read through libsodium; and the signature
// files it makes, in minisign's prehashed form so `minisign -V` accepts them.
#pragma once

#include "update/trust/UpdateKey.h"

#include <QByteArray>
#include <QString>
#include <functional>

class SecretKey {
public:
    // Asked only when the key is protected; raises RuntimeError when it is
    // read from nowhere.
    using PasswordSource = std::function<QByteArray()>;

    // Raises RuntimeError with the reason when the text is no usable key or
    // the password does not open it; `name` names the file in the reasons.
    static SecretKey FromFileText(const QByteArray& text, const QByteArray& name,
                                  const PasswordSource& password);
    static SecretKey FromFile(const QString& path, const PasswordSource& password);

    SecretKey(SecretKey&& other) noexcept = default;
    SecretKey& operator=(SecretKey&&) = delete;
    SecretKey(const SecretKey&) = delete;
    SecretKey& operator=(const SecretKey&) = delete;
    ~SecretKey();

    const QByteArray& KeyId() const { return keyId_; }
    // The public half, as KORU reads it.
    UpdateKey PublicKey() const;

    // A signature file over `bytes` / over the file at `path`, read in blocks.
    QByteArray Sign(const QByteArray& bytes, const QByteArray& trustedComment) const;
    QByteArray SignFile(const QString& path, const QByteArray& trustedComment) const;

private:
    SecretKey() = default;
    QByteArray SignDigest(const QByteArray& digest, const QByteArray& trustedComment) const;

    QByteArray keyId_;
    QByteArray secret_; // 64 bytes: the Ed25519 seed and public key
};
