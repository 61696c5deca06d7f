// How one fetch ended, owned by whoever asked for it: nothing about a fetch
// is read back from the engine once it has ended.
#pragma once

#include "update/net/TransferFailure.h"

#include <QByteArray>
#include <cstdint>

struct FetchResult {
    TransferFailure failure;
    int status = 0; // of the last answer; 0 without one
    // The answer says the file is missing, by the rule the request named.
    bool notFound = false;
    QByteArray contentType;
    bool declaresZip = false;   // "Content-Type: application/zip"
    std::int64_t bodyBytes = 0; // of this answer, a resumed part not included
    QByteArray server;          // the mirror it came from, as the user named it
    QByteArray url;             // the address that answered, after redirects
    // The file's body stopped part way, whole as far as it went: worth
    // keeping for a resume.
    bool cutWhole = false;
};
