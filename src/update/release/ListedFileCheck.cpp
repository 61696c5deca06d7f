#include "update/release/ListedFileCheck.h"

#include "platform/runtime/RuntimeError.h"
#include "update/trust/MinisignText.h"

#include <sodium.h>

namespace {

void RequireHashed(int result) {
    if (result != 0)
        throw RuntimeError(5, "The file cannot be hashed.", "libsodium");
}

} // namespace

ListedFileCheck::ListedFileCheck(const ReleaseList::Entry& entry) : entry_(entry) {
    MinisignText::RequireSodium();
    RequireHashed(crypto_generichash_init(&state_, nullptr, 0, ReleaseList::hashSize));
}

bool ListedFileCheck::Update(const char* data, qsizetype size) {
    if (size < 0)
        throw RuntimeError(5, "Invalid procedure call or argument", "ListedFileCheck");
    if (received_ > entry_.length || size > entry_.length - received_) {
        received_ = entry_.length + 1;
        return false;
    }
    RequireHashed(crypto_generichash_update(&state_, reinterpret_cast<const unsigned char*>(data),
                                            static_cast<unsigned long long>(size)));
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
    crypto_generichash_state state = state_;
    QByteArray hash(ReleaseList::hashSize, Qt::Uninitialized);
    RequireHashed(crypto_generichash_final(&state, reinterpret_cast<unsigned char*>(hash.data()),
                                           size_t(hash.size())));
    if (hash != entry_.hash)
        return "The file's BLAKE2b-256 hash differs from the one the release list names.";
    return {};
}

QByteArray ListedFileCheck::NotListed() {
    return "The release list does not name this file.";
}
