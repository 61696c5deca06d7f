// Decides whether a fetched release list may be used: signed by a key of the
// chain's epoch, the epoch it names, not older than a list already accepted,
// not expired, and signed for itself (its own serial and epoch in the
// signature's trusted comment).
#pragma once

#include "update/trust/KeyChain.h"
#include "update/trust/ReleaseList.h"

#include <QByteArray>
#include <QDateTime>

class ReleaseVerifier {
public:
    struct Verdict {
        ReleaseList list;
        // Why the list is refused: a sentence for the log; empty when verified.
        QByteArray problem;
        bool Verified() const { return problem.isEmpty(); }
        // "Release list verified: serial 42, valid until 2027-01-06."
        QByteArray LogLine() const;
    };

    // `chain` has already followed the links up to the epoch the list names;
    // `serialSeen` is the highest serial accepted before; `now` is the clock
    // (the tests set it).
    static Verdict Verify(const QByteArray& listText, const QByteArray& signatureText,
                          const KeyChain& chain, qint64 serialSeen, const QDateTime& now);

    // The reason when the server has no release list though one was accepted
    // before: stripping it must not fall back to unsigned files.
    static QByteArray Stripped();
};
