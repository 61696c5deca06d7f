#include "update/trust/SignedText.h"

#include "update/trust/ArchiveSignature.h"
#include "update/trust/MinisignText.h"

#include <sodium.h>

namespace {

const unsigned char* Bytes(const QByteArray& bytes) {
    return reinterpret_cast<const unsigned char*>(bytes.constData());
}

bool Holds(const QByteArray& signature, const QByteArray& message, const UpdateKey& key) {
    return crypto_sign_verify_detached(Bytes(signature), Bytes(message), size_t(message.size()),
                                       Bytes(key.PublicKey())) == 0;
}

} // namespace

SignedText::Verdict SignedText::Verify(const TrustedKeys& keys, const QByteArray& text,
                                       const QByteArray& signatureText, const QByteArray& what) {
    MinisignText::RequireSodium();
    if (!keys.Usable())
        return {{}, {}, keys.Present() ? keys.Problem() : "There is no trusted update key."};
    const ArchiveSignature signature = ArchiveSignature::Parse(signatureText);
    if (!signature.Valid())
        return {{}, {}, signature.Problem()};
    if (!signature.Prehashed() && !signature.Legacy())
        return {{}, {}, what + "'s signature uses an unknown algorithm."};
    const UpdateKey* key = keys.Find(signature.KeyId());
    if (key == nullptr)
        return {{},
                {},
                what + " is signed by a key KORU does not trust (ID " +
                    MinisignText::KeyIdText(signature.KeyId()) + ")."};
    QByteArray message = text;
    if (signature.Prehashed()) {
        message = QByteArray(crypto_generichash_BYTES_MAX, Qt::Uninitialized);
        crypto_generichash(reinterpret_cast<unsigned char*>(message.data()), size_t(message.size()),
                           Bytes(text), size_t(text.size()), nullptr, 0);
    }
    if (!Holds(signature.Signature(), message, *key))
        return {{}, {}, what + "'s signature does not match it."};
    if (!Holds(signature.GlobalSignature(), signature.Signature() + signature.TrustedComment(),
               *key))
        return {{}, {}, what + "'s trusted comment was altered."};
    return {signature.TrustedComment(), signature.KeyId(), {}};
}
