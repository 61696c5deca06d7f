#include "update/trust/ArchiveVerifier.h"

#include "platform/runtime/RuntimeError.h"
#include "update/trust/ArchiveSignature.h"
#include "update/trust/KeptBytes.h"
#include "update/trust/MinisignText.h"

#include <QFile>
#include <sodium.h>

namespace {

constexpr char noKey[] = "There is no update key to check the archive.";

const unsigned char* Bytes(const QByteArray& bytes) {
    return reinterpret_cast<const unsigned char*>(bytes.constData());
}

bool SignatureHolds(const QByteArray& signature, const unsigned char* message, size_t size,
                    const QByteArray& publicKey) {
    return crypto_sign_verify_detached(Bytes(signature), message, size, Bytes(publicKey)) == 0;
}

// The legacy form signs the whole file: map it rather than read it in.
bool LegacySignatureHolds(QFile& file, const ArchiveSignature& signature,
                          const QByteArray& publicKey, QByteArray& problem) {
    static const unsigned char empty = 0;
    const qint64 size = file.size();
    const uchar* mapped = size > 0 ? file.map(0, size) : &empty;
    if (mapped == nullptr) {
        problem = "The saved archive cannot be read (" + file.errorString().toUtf8() + ").";
        return false;
    }
    const bool holds = SignatureHolds(signature.Signature(), mapped, size_t(size), publicKey);
    if (size > 0)
        file.unmap(const_cast<uchar*>(mapped));
    return holds;
}

} // namespace

ArchiveVerifier::ArchiveVerifier() = default;

void ArchiveVerifier::Update(const char* data, qsizetype size) {
    if (size < 0)
        throw RuntimeError(RuntimeErrors::invalidCall, "ArchiveVerifier");
    hash_.Add(data, size);
    hashed_ += size;
}

QByteArray ArchiveVerifier::UpdateFromFile(const QString& path, qint64 bytes) {
    return KeptBytes::Read(path, bytes, [this](const char* data, qsizetype size) {
        Update(data, size);
        return true;
    });
}

ArchiveVerifier::Verdict ArchiveVerifier::Verify(const TrustedKeys& keys,
                                                 const QByteArray& signatureText,
                                                 const QString& savedFilePath) const {
    if (!keys.Usable())
        return {{}, keys.Present() ? keys.Problem() : QByteArray(noKey)};
    const ArchiveSignature signature = ArchiveSignature::Parse(signatureText);
    const UpdateKey* named = signature.Valid() ? keys.Find(signature.KeyId()) : nullptr;
    return Verify(named != nullptr ? *named : keys.Keys().first(), signatureText, savedFilePath);
}

ArchiveVerifier::Verdict ArchiveVerifier::Verify(const UpdateKey& key,
                                                 const QByteArray& signatureText,
                                                 const QString& savedFilePath) const {
    if (!key.Usable())
        return {{}, key.Present() ? key.Problem() : QByteArray(noKey)};
    const ArchiveSignature signature = ArchiveSignature::Parse(signatureText);
    if (!signature.Valid())
        return {{}, signature.Problem()};
    if (!signature.Prehashed() && !signature.Legacy())
        return {{}, "The archive's signature uses an unknown algorithm."};
    if (signature.KeyId() != key.KeyId())
        return {{},
                "The archive is signed by another key (ID " +
                    MinisignText::KeyIdText(signature.KeyId()) + ")."};

    QFile file(savedFilePath);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, "The saved archive cannot be read (" + file.errorString().toUtf8() + ")."};
    if (file.size() != hashed_)
        return {{}, "The saved archive does not hold the bytes received."};
    QByteArray problem;
    bool holds = false;
    if (signature.Prehashed()) {
        const QByteArray digest = hash_.Digest();
        holds = SignatureHolds(signature.Signature(), Bytes(digest), size_t(digest.size()),
                               key.PublicKey());
    } else {
        holds = LegacySignatureHolds(file, signature, key.PublicKey(), problem);
    }
    if (!problem.isEmpty())
        return {{}, problem};
    if (!holds)
        return {{}, "The archive's signature does not match it."};

    const QByteArray global = signature.Signature() + signature.TrustedComment();
    if (!SignatureHolds(signature.GlobalSignature(), Bytes(global), size_t(global.size()),
                        key.PublicKey()))
        return {{}, "The signature's trusted comment was altered."};
    // The same key signs release lists and key chain links, and their
    // comments start so: such a text served as the archive is no archive.
    if (signature.TrustedComment().startsWith("koru-"))
        return {{},
                "The archive's signature was made for a release list or key chain link (\"" +
                    signature.TrustedComment().left(40) + "\"), not for an archive."};
    return {signature.TrustedComment(), {}};
}
