// The chain of key rotations: files/koru/keys/N.txt lists the keys trusted
// from epoch N on, signed by a key of epoch N-1 whose signed comment names N.
// A key left out of a link is revoked: it signs no later list or link.
#pragma once

#include "update/trust/TrustedKeys.h"

#include <QByteArray>

class KeyChain {
public:
    // Links followed in one check at most: a list naming a farther epoch is
    // refused rather than fetching without end.
    static constexpr qint64 maximumSteps = 64;

    KeyChain(TrustedKeys keys, qint64 epoch);

    const TrustedKeys& Keys() const { return keys_; }
    qint64 Epoch() const { return epoch_; }

    // The link of `epoch` under the server's files/ ("koru/keys/3.txt").
    static QByteArray LinkPath(qint64 epoch);
    // The trusted comment its signature carries ("koru-keys epoch 3").
    static QByteArray LinkComment(qint64 epoch);

    // Why a release list naming `epoch` cannot be verified from here; empty
    // when the epoch is this one or a reachable later one.
    QByteArray CanReach(qint64 epoch) const;
    // The reason when the link of `epoch` cannot be fetched.
    static QByteArray Missing(qint64 epoch);

    // Verifies the link of epoch Epoch()+1 by the keys of this epoch and
    // moves to it. Answers why it is refused, leaving the chain as it was,
    // or an empty text.
    QByteArray Advance(const QByteArray& linkText, const QByteArray& signatureText);

private:
    TrustedKeys keys_;
    qint64 epoch_;
};
