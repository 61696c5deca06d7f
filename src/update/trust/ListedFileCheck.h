// Checks one fetched file against its entry in the release list while it
// streams in: it counts and hashes the bytes, says the moment the body passes
// the listed length (so the transfer can be cut off there), and gives the
// verdict at the end.
#pragma once

#include "update/trust/ReleaseList.h"
#include "update/trust/StreamHash.h"

#include <QByteArray>

class ListedFileCheck {
public:
    // Raises RuntimeError when the cryptography library cannot be used.
    explicit ListedFileCheck(const ReleaseList::Entry& entry);

    // Each piece of the body, in order. False once the bytes pass the
    // listed length; nothing past it is hashed.
    bool Update(const char* data, qsizetype size);

    // After the last piece: why the file is refused, or an empty text.
    QByteArray Verdict() const;

    // The reason for a file the list does not name.
    static QByteArray NotListed();

private:
    ReleaseList::Entry entry_;
    StreamHash hash_{ReleaseList::hashSize};
    qint64 received_ = 0;
};
