#include "publish/SecretKey.h"

#include "platform/runtime/RuntimeError.h"
#include "publish/FileDigest.h"
#include "update/trust/MinisignText.h"

#include <QFile>
#include <QtEndian>
#include <sodium.h>

namespace {

// The decoded key line: algorithms, scrypt's salt and limits, then the
// (possibly encrypted) key id, secret key and checksum.
constexpr qsizetype saltAt = 6;
constexpr qsizetype saltSize = 32;
constexpr qsizetype opsLimitAt = saltAt + saltSize;
constexpr qsizetype memLimitAt = opsLimitAt + 8;
constexpr qsizetype keyNumAt = memLimitAt + 8;
constexpr qsizetype secretSize = crypto_sign_SECRETKEYBYTES;
constexpr qsizetype checksumSize = 32;
constexpr qsizetype keyNumSize = MinisignText::keyIdSize + secretSize + checksumSize;
constexpr qsizetype lineBytes = keyNumAt + keyNumSize;
// The most scrypt work a key may ask for: 4 times the operations and the
// memory of minisign's strongest preset (2^25 operations, 1 GiB). A forged
// key asking more would keep koru-publish busy until killed.
constexpr quint64 mostOperations = quint64(4) << 25;
constexpr quint64 mostMemory = quint64(1) << 30;

const unsigned char* Bytes(const QByteArray& bytes) {
    return reinterpret_cast<const unsigned char*>(bytes.constData());
}

unsigned char* Bytes(QByteArray& bytes) {
    return reinterpret_cast<unsigned char*>(bytes.data());
}

void Wipe(QByteArray& bytes) {
    sodium_memzero(bytes.data(), size_t(bytes.size()));
}

[[noreturn]] void Refuse(const QByteArray& name, const QByteArray& why) {
    throw RuntimeError(RuntimeErrors::invalidCall, "The secret key " + name + ' ' + why + '.',
                       "koru-publish");
}

void Decrypt(QByteArray& keyNum, const QByteArray& line, const QByteArray& name,
             const SecretKey::PasswordSource& password) {
    const auto operations = qFromLittleEndian<quint64>(line.constData() + opsLimitAt);
    const auto memory = qFromLittleEndian<quint64>(line.constData() + memLimitAt);
    if (operations > mostOperations || memory > mostMemory)
        Refuse(name, "asks for more work to open than koru-publish allows (" +
                         QByteArray::number(operations) + " scrypt operations and " +
                         QByteArray::number(memory) + " bytes of memory; at most " +
                         QByteArray::number(mostOperations) + " and " +
                         QByteArray::number(mostMemory) + ")");
    QByteArray secret = password();
    QByteArray stream(keyNumSize, Qt::Uninitialized);
    const int failed = crypto_pwhash_scryptsalsa208sha256(
        Bytes(stream), size_t(stream.size()), secret.constData(), size_t(secret.size()),
        Bytes(line) + saltAt, operations, size_t(memory));
    Wipe(secret);
    if (failed != 0)
        Refuse(name, "asks for more memory to open than this computer gives");
    for (qsizetype i = 0; i < keyNumSize; ++i)
        keyNum[i] = char(keyNum[i] ^ stream[i]);
    Wipe(stream);
}

} // namespace

SecretKey SecretKey::FromFileText(const QByteArray& text, const QByteArray& name,
                                  const PasswordSource& password) {
    MinisignText::RequireSodium();
    const QList<QByteArray> lines = MinisignText::Lines(text.left(4096));
    if (lines.size() != 2 || !MinisignText::AfterPrefix(lines[0], MinisignText::untrustedPrefix))
        Refuse(name, "is not a minisign secret key file (two lines, a comment and the key)");
    std::optional<QByteArray> line = MinisignText::DecodeBase64(lines[1], lineBytes);
    if (!line || !line->startsWith("Ed") || line->mid(4, 2) != "B2")
        Refuse(name, "is not a minisign Ed25519 secret key");
    const QByteArray kdf = line->mid(2, 2);
    if (kdf != "Sc" && kdf != QByteArray(2, '\0'))
        Refuse(name, "is protected in a way minisign does not write");
    QByteArray keyNum = line->mid(keyNumAt);
    if (kdf == "Sc")
        Decrypt(keyNum, *line, name, password);
    Wipe(*line);

    SecretKey key;
    key.keyId_ = keyNum.left(MinisignText::keyIdSize);
    key.secret_ = keyNum.mid(MinisignText::keyIdSize, secretSize);
    const QByteArray checksum = keyNum.right(checksumSize);
    Wipe(keyNum);
    // minisign leaves the checksum of an unprotected key empty.
    QByteArray expected(checksumSize, '\0');
    if (kdf == "Sc" || checksum != expected) {
        QByteArray summed = "Ed" + key.keyId_ + key.secret_;
        crypto_generichash(Bytes(expected), size_t(checksumSize), Bytes(summed),
                           size_t(summed.size()), nullptr, 0);
        Wipe(summed);
        if (checksum != expected)
            Refuse(name, kdf == "Sc" ? "does not open with this password" : "is damaged");
    }
    unsigned char derived[crypto_sign_PUBLICKEYBYTES];
    unsigned char derivedSecret[crypto_sign_SECRETKEYBYTES];
    crypto_sign_seed_keypair(derived, derivedSecret, Bytes(key.secret_));
    sodium_memzero(derivedSecret, sizeof derivedSecret);
    if (sodium_memcmp(derived, Bytes(key.secret_) + crypto_sign_SEEDBYTES, sizeof derived) != 0)
        Refuse(name, "is damaged (its two halves do not belong together)");
    return key;
}

SecretKey SecretKey::FromFile(const QString& path, const PasswordSource& password) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Refuse(QFile::encodeName(path), "cannot be read (" + file.errorString().toUtf8() + ')');
    QByteArray text = file.read(4096);
    SecretKey key = FromFileText(text, QFile::encodeName(path), password);
    Wipe(text);
    return key;
}

SecretKey::~SecretKey() {
    Wipe(secret_);
}

UpdateKey SecretKey::PublicKey() const {
    return UpdateKey::FromKeyLine(("Ed" + keyId_ + secret_.mid(crypto_sign_SEEDBYTES)).toBase64());
}

QByteArray SecretKey::Sign(const QByteArray& bytes, const QByteArray& trustedComment) const {
    QByteArray digest(crypto_generichash_BYTES_MAX, Qt::Uninitialized);
    crypto_generichash(Bytes(digest), size_t(digest.size()), Bytes(bytes), size_t(bytes.size()),
                       nullptr, 0);
    return SignDigest(digest, trustedComment);
}

QByteArray SecretKey::SignFile(const QString& path, const QByteArray& trustedComment) const {
    return SignDigest(FileDigest(path, crypto_generichash_BYTES_MAX), trustedComment);
}

QByteArray SecretKey::SignDigest(const QByteArray& digest, const QByteArray& trustedComment) const {
    if (trustedComment.contains('\n') || trustedComment.contains('\r'))
        throw RuntimeError(RuntimeErrors::invalidCall, "A trusted comment is one line.",
                           "koru-publish");
    QByteArray signature(crypto_sign_BYTES, Qt::Uninitialized);
    crypto_sign_detached(Bytes(signature), nullptr, Bytes(digest), size_t(digest.size()),
                         Bytes(secret_));
    const QByteArray signed_ = signature + trustedComment;
    QByteArray global(crypto_sign_BYTES, Qt::Uninitialized);
    crypto_sign_detached(Bytes(global), nullptr, Bytes(signed_), size_t(signed_.size()),
                         Bytes(secret_));
    return QByteArray(MinisignText::untrustedPrefix) + "signature from koru-publish, key " +
           MinisignText::KeyIdText(keyId_) + '\n' + ("ED" + keyId_ + signature).toBase64() +
           "\ntrusted comment: " + trustedComment + '\n' + global.toBase64() + '\n';
}
