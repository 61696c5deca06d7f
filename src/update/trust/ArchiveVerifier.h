// Checks a downloaded archive against its minisign signature and the trusted
// update key. It hashes the bytes as they are written to disk, so the usual
// (prehashed) form never needs the archive in memory; the legacy form signs
// the file itself and is checked on the saved file, mapped from disk.
#pragma once

#include "update/trust/StreamHash.h"
#include "update/trust/TrustedKeys.h"
#include "update/trust/UpdateKey.h"

#include <QByteArray>
#include <QString>
#include <sodium/crypto_generichash.h>

class ArchiveVerifier {
public:
    struct Verdict {
        // The signed comment of a verified archive (the publisher's words).
        QByteArray trustedComment;
        // Why the archive is refused: a sentence for the log; empty when verified.
        QByteArray problem;
        bool Verified() const { return problem.isEmpty(); }
    };

    // Create before the first byte arrives. Raises RuntimeError when the
    // cryptography library cannot be used.
    ArchiveVerifier();

    // Each piece of the body, in order, as it is written to the file.
    void Update(const char* data, qsizetype size);

    // When a download resumes: the first `bytes` of the partial file, read
    // from disk in blocks, before the pieces that follow. Answers why the file
    // cannot be read that far, or an empty text.
    [[nodiscard]] QByteArray UpdateFromFile(const QString& path, qint64 bytes);

    // Checks, in order: the key is usable, the signature file parses, its
    // algorithm is known, it names the key's id, it signs the archive, and
    // the global signature covers its trusted comment, which must not start
    // with "koru-" (the comments of release lists and links). The saved file must
    // hold exactly the bytes hashed. May be asked more than once.
    Verdict Verify(const UpdateKey& key, const QByteArray& signatureText,
                   const QString& savedFilePath) const;
    // The same with the key among `keys` that the signature names (a key
    // file may hold the next key beside the current one).
    Verdict Verify(const TrustedKeys& keys, const QByteArray& signatureText,
                   const QString& savedFilePath) const;

private:
    StreamHash hash_{crypto_generichash_BYTES_MAX};
    qint64 hashed_ = 0;
};
