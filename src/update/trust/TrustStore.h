// What KORU remembers of a publisher's release lists, so that an older list
// cannot be replayed and a list once seen cannot be stripped: the highest
// serial accepted (one counter for the whole chain of trust), the key epoch
// and its keys. One small file per trust anchor (the keys of update.pub or the
// built-in key) in $XDG_STATE_HOME/koru, replaced whole under a lock, since two
// KORUs may check at once.
#pragma once

#include "update/trust/TrustedKeys.h"

#include <QByteArray>
#include <QString>

class TrustStore {
public:
    struct State {
        qint64 serial = 0; // the highest accepted; 0 before the first
        qint64 epoch = 0;
        TrustedKeys keys;      // trusted at `epoch`; the anchor at epoch 0
        bool listSeen = false; // a release list was accepted once
        // Why the record cannot be read: a sentence for the log; empty when read.
        QByteArray problem;
    };

    // The record of the trust anchored in `anchor`, kept in `folder`.
    // Raises RuntimeError when the cryptography library cannot be used.
    TrustStore(const QString& folder, const TrustedKeys& anchor);

    // $XDG_STATE_HOME/koru, or ~/.local/state/koru.
    static QString DefaultFolder();

    // What is remembered; the anchor at epoch 0 when nothing is yet.
    State Load() const;

    // Adds an accepted list to the record: the higher serial, the later
    // epoch with its keys, and that a list was seen. What another KORU
    // recorded meanwhile is kept when it is further on. Raises RuntimeError
    // when the record cannot be written.
    void Record(const State& accepted);

    const QString& FilePath() const { return path_; }

private:
    State Parse(const QByteArray& text) const;
    static QByteArray Text(const State& state);

    QString folder_;
    QString path_;
    TrustedKeys anchor_;
};
