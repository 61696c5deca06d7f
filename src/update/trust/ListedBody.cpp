#include "update/trust/ListedBody.h"

#include "update/formats/NotFoundRule.h"
#include "update/formats/VersionFiles.h"
#include "update/trust/KeptBytes.h"

namespace {
// The offered version is characters 7 to 11 of the version file.
constexpr qsizetype offeredVersionEnd = 11;
} // namespace

// A file the list names must be there: its stand-in page is not judged as
// the file, so the failure says what happened.
TransferFailure ListedBody::TakeHead(const HttpResponseReader& response) {
    if (response.StatusCode() == 404)
        return {TransferFailure::Kind::NotFound, NotFoundRule::message};
    return {};
}

TransferFailure ListedBody::TakeKept(const QString& path, std::int64_t size) {
    TransferFailure refused;
    const QByteArray unread =
        KeptBytes::Read(path, size, [this, &refused](const char* data, qsizetype piece) {
            refused = Take(data, piece);
            return !refused;
        });
    if (!refused && !unread.isEmpty())
        refused = {TransferFailure::Kind::Save, unread};
    return refused;
}

TransferFailure ListedBody::Take(const char* data, qsizetype size) {
    if (check_.Update(data, size)) {
        if (!offeredVersion_.isEmpty())
            head_ += QByteArray(data, std::min(size, offeredVersionEnd - head_.size()));
        return {};
    }
    return {TransferFailure::Kind::Mismatch, check_.Verdict()};
}

TransferFailure ListedBody::Verdict() {
    const QByteArray problem = check_.Verdict();
    if (!problem.isEmpty())
        return {TransferFailure::Kind::Mismatch, problem};
    const QByteArray offered = VersionFiles::OfferedVersionText(head_).trimmed();
    if (!offeredVersion_.isEmpty() && offered != offeredVersion_)
        return {TransferFailure::Kind::Release,
                "The release list offers VANTO \"" + offeredVersion_ +
                    "\", but the version file offers \"" + offered + "\"."};
    return {};
}
