// The release list a run holds once a check has verified it, owned by
// whoever starts the checks and lent to the jobs that fetch after them. Its
// vetting judges each of their fetches: a file it does not name is not
// fetched, a listed one is cut off past its length and refused unless its
// hash matches. Without a list every body is taken.
#pragma once

#include "update/net/TransferEngine.h"
#include "update/trust/ReleaseList.h"

#include <QByteArray>
#include <memory>
#include <optional>

// An optional list, so that installing reads it as any kept list.
class HeldList : public std::optional<ReleaseList> {
public:
    using std::optional<ReleaseList>::optional;
    using std::optional<ReleaseList>::operator=;

    // The last check, with a key, found no release list on the server.
    bool missing = false;

    // True when the list names the file at `path` ("/files/koru/x.txt").
    bool Names(const QByteArray& path) const;
    // The length the list gives the file at `path`; -1 when it names none.
    qint64 ListedLength(const QByteArray& path) const;
    // Refuses `path` unfetched, or sets the check that judges its body.
    TransferFailure Vet(const QByteArray& path, std::unique_ptr<BodyCheck>& check) const;
    // The vetting of a fetch, bound to this holder: it judges by the list
    // held when the fetch starts, so the holder must outlive the fetch.
    FetchOptions::Vetting Vetting() const;
};
