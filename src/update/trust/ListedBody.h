// The body of a file the verified release list names: cut off the moment it
// passes the listed length, refused unless its length and hash are the
// listed ones. A resumed file's kept part is hashed from disk first.
#pragma once

#include "update/net/BodyCheck.h"
#include "update/trust/ListedFileCheck.h"

class ListedBody : public BodyCheck {
public:
    // Raises RuntimeError when the cryptography library cannot be used.
    explicit ListedBody(const ReleaseList::Entry& entry) : check_(entry) {}

    TransferFailure TakeHead(const HttpResponseReader& response) override;
    TransferFailure TakeKept(const QString& path, std::int64_t size) override;
    TransferFailure Take(const char* data, qsizetype size) override;
    TransferFailure Verdict() override;

private:
    ListedFileCheck check_;
};
