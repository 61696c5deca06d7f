// The signature file minisign writes beside an archive (`FILE.minisig`),
// read from its raw bytes: any input gives a signature or a reason.
#pragma once

#include <QByteArray>

class ArchiveSignature {
public:
    static constexpr qsizetype signatureSize = 64;
    // A real one is about 300 bytes; nothing larger is read.
    static constexpr qsizetype maximumSize = 64 * 1024;

    static ArchiveSignature Parse(const QByteArray& text);

    bool Valid() const { return problem_.isEmpty(); }
    // Why the text is no signature file: a sentence for the log.
    const QByteArray& Problem() const { return problem_; }

    // "ED" (over the file's BLAKE2b-512 digest) or "Ed" (over the file
    // itself); any other two bytes are kept for the verifier to refuse.
    bool Prehashed() const { return algorithm_ == "ED"; }
    bool Legacy() const { return algorithm_ == "Ed"; }

    const QByteArray& KeyId() const { return keyId_; }
    const QByteArray& Signature() const { return signature_; }
    // The text after "trusted comment: ", without the line end.
    const QByteArray& TrustedComment() const { return trustedComment_; }
    // Signs Signature() followed by TrustedComment().
    const QByteArray& GlobalSignature() const { return globalSignature_; }

private:
    static ArchiveSignature Malformed(const QByteArray& why);

    QByteArray problem_;
    QByteArray algorithm_;
    QByteArray keyId_;
    QByteArray signature_;
    QByteArray trustedComment_;
    QByteArray globalSignature_;
};
