#include "update/trust/ListedFileCheck.h"

#include "platform/runtime/RuntimeError.h"

ListedFileCheck::ListedFileCheck(const ReleaseList::Entry& entry) : entry_(entry) {}

bool ListedFileCheck::Update(const char* data, qsizetype size) {
    if (size < 0)
        throw RuntimeError(RuntimeErrors::invalidCall, "ListedFileCheck");
    if (received_ > entry_.length || size > entry_.length - received_) {
        received_ = entry_.length + 1;
        return false;
    }
    hash_.Add(data, size);
    received_ += size;
    return true;
}

QByteArray ListedFileCheck::Verdict() const {
    const QByteArray listed = QByteArray::number(entry_.length);
    if (received_ > entry_.length)
        return "The file is longer than the " + listed + " bytes the release list names.";
    if (received_ < entry_.length)
        return "The file has " + QByteArray::number(received_) + " bytes; the release list names " +
               listed + '.';
    if (hash_.Digest() != entry_.hash)
        return "The file's BLAKE2b-256 hash differs from the one the release list names.";
    return {};
}

QByteArray ListedFileCheck::NotListed() {
    return "The release list does not name this file.";
}
