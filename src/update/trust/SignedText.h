// A small text signed with minisign (the release list, a key chain link),
// checked whole in memory against a set of trusted keys.
#pragma once

#include "update/trust/TrustedKeys.h"

#include <QByteArray>

class SignedText {
public:
    struct Verdict {
        // The signed comment and the id of the key that signed.
        QByteArray trustedComment;
        QByteArray keyId;
        // Why the text is refused: a sentence for the log; empty when verified.
        QByteArray problem;
        bool Verified() const { return problem.isEmpty(); }
    };

    // Checks, in order: the signature file parses, its algorithm is known, a
    // trusted key has its id, it signs `text`, and the global signature
    // covers its trusted comment. `what` names the text in the reasons
    // ("The release list").
    static Verdict Verify(const TrustedKeys& keys, const QByteArray& text,
                          const QByteArray& signatureText, const QByteArray& what);
};
