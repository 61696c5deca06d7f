// The body of a file the verified release list names: cut off the moment it
// passes the listed length, refused unless its length and hash are the
// listed ones. A resumed file's kept part is hashed from disk first. The
// version file must also offer the version the list names.
#pragma once

#include "update/net/BodyCheck.h"
#include "update/trust/ListedFileCheck.h"

class ListedBody : public BodyCheck {
public:
    // Raises RuntimeError when the cryptography library cannot be used.
    // `offeredVersion`, when not empty, is the list's: the body is the
    // version file and must offer the same.
    explicit ListedBody(const ReleaseList::Entry& entry, QByteArray offeredVersion = {})
        : check_(entry), offeredVersion_(std::move(offeredVersion)) {}

    TransferFailure TakeHead(const HttpResponseReader& response) override;
    TransferFailure TakeKept(const QString& path, std::int64_t size) override;
    TransferFailure Take(const char* data, qsizetype size) override;
    TransferFailure Verdict() override;

private:
    ListedFileCheck check_;
    QByteArray offeredVersion_;
    QByteArray head_; // the version file's first bytes, up to its offered version
};
