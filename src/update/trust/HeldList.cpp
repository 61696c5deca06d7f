#include "update/trust/HeldList.h"

#include "platform/runtime/RuntimeError.h"
#include "update/formats/ServerPaths.h"
#include "update/trust/ListedBody.h"
#include "update/trust/ListedFileCheck.h"

namespace {

// The list names files by their raw names, as they lie in the tree; a
// request path carries them percent-encoded (a help link "a b" as "a%20b").
const ReleaseList::Entry* Listed(const ReleaseList& list, const QByteArray& path) {
    if (!path.startsWith(ServerPaths::files))
        return nullptr;
    return list.Find(
        QByteArray::fromPercentEncoding(path.mid(qsizetype(sizeof ServerPaths::files) - 1)));
}

} // namespace

bool HeldList::Names(const QByteArray& path) const {
    return has_value() && Listed(**this, path) != nullptr;
}

qint64 HeldList::ListedLength(const QByteArray& path) const {
    const ReleaseList::Entry* entry = has_value() ? Listed(**this, path) : nullptr;
    return entry ? entry->length : -1;
}

TransferFailure HeldList::Vet(const QByteArray& path, std::unique_ptr<BodyCheck>& check) const {
    // The list and its key chain vouch for themselves (their fetches are
    // held to the list's size).
    if (path == ServerPaths::releaseList || path == ServerPaths::releaseListSignature ||
        path.startsWith(ServerPaths::keysFolder))
        return {};
    // Signatures are checked by their own keys.
    if (!has_value() || path.endsWith(ServerPaths::signatureEnding))
        return {};
    const ReleaseList::Entry* entry = Listed(**this, path);
    if (entry == nullptr)
        return {TransferFailure::Kind::Release, ListedFileCheck::NotListed()};
    try {
        check = std::make_unique<ListedBody>(
            *entry, entry->path == ServerPaths::Listed(ServerPaths::versionFile)
                        ? (*this)->offeredVersion
                        : QByteArray());
    } catch (const RuntimeError& e) {
        return {TransferFailure::Kind::Release, e.Description()};
    }
    return {};
}

FetchOptions::Vetting HeldList::Vetting() const {
    return [this](const QByteArray& path, std::unique_ptr<BodyCheck>& check) {
        return Vet(path, check);
    };
}
