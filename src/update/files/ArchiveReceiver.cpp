#include "update/files/ArchiveReceiver.h"

#include "platform/runtime/RuntimeError.h"
#include "update/files/ArchiveDownload.h"

namespace {

// What the server named the archive's version by: a strong ETag, else the
// modification date (a weak ETag cannot vouch for a byte range). One that
// could not be sent back as it is names nothing.
QByteArray ValidatorOf(const HttpResponseReader& response) {
    const QByteArray etag = response.Header("etag");
    const QByteArray validator =
        !etag.isEmpty() && !etag.startsWith("W/") ? etag : response.Header("last-modified");
    return KeptPart::Sendable(validator) ? validator : QByteArray();
}

std::optional<std::int64_t> Number(const QByteArray& text) {
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    return ok && value >= 0 ? std::optional<std::int64_t>(value) : std::nullopt;
}

// "bytes FIRST-LAST/TOTAL" starting where the kept part ends and as long as the body.
bool RangeFits(const QByteArray& contentRange, std::int64_t start, std::int64_t length) {
    const QByteArray range = contentRange.trimmed();
    if (!range.toLower().startsWith("bytes ") || length <= 0)
        return false;
    const QByteArray spec = range.mid(6).trimmed();
    const qsizetype dash = spec.indexOf('-');
    const qsizetype slash = spec.indexOf('/');
    if (dash < 0 || slash < dash)
        return false;
    const auto first = Number(spec.left(dash));
    const auto last = Number(spec.mid(dash + 1, slash - dash - 1));
    const QByteArray total = spec.mid(slash + 1);
    return first == start && last == start + length - 1 &&
           (total == "*" || Number(total) == start + length);
}

} // namespace

ArchiveReceiver::ArchiveReceiver(const QString& target, const QByteArray& url,
                                 const QString& vantoFolder, bool listed)
    : file_(target, url), keys_(TrustedKeys::ForVantoFolder(vantoFolder)) {
    if (keys_.Usable() && !listed)
        verifier_.emplace();
}

QByteArray ArchiveReceiver::RequestHeaders() const {
    if (file_.KeptSize() == 0)
        return {};
    return "Range: bytes=" + QByteArray::number(file_.KeptSize()) +
           "-\r\nIf-Range: " + file_.KeptValidator() + "\r\n";
}

TransferFailure ArchiveReceiver::CheckHead(const HttpResponseReader& response) {
    validator_ = ValidatorOf(response);
    resumed_ = rangeMisfit_ = false;
    const int status = response.StatusCode();
    if (status == 404)
        return {}; // the server's page; the download fails as not found
    // Only the signature can tell a whole archive from one cut off.
    if (response.BodyFraming() == HttpResponseReader::Framing::UntilClose && !NeedsSignature())
        return {TransferFailure::Kind::BadAnswer,
                "The server announced no length, so a complete archive cannot be told from a "
                "cut one."};
    const bool asked = file_.KeptSize() > 0;
    if (status == 206) {
        if (!asked)
            return {TransferFailure::Kind::BadAnswer,
                    "The server sent part of the archive unasked."};
        rangeMisfit_ = !RangeFits(response.Header("content-range"), file_.KeptSize(),
                                  response.ContentLength());
        if (rangeMisfit_)
            return {TransferFailure::Kind::BadAnswer,
                    "The server's range does not fit the kept download."};
        if (verifier_) {
            const QByteArray unreadable =
                verifier_->UpdateFromFile(file_.ReadablePath(), file_.KeptSize());
            rangeMisfit_ = !unreadable.isEmpty();
            if (rangeMisfit_)
                return {TransferFailure::Kind::Save, unreadable};
        }
        resumed_ = true;
        if (onResumed)
            onResumed(file_.KeptSize());
    } else if (asked) {
        // The whole archive after all: it changed, or the server does not resume.
        StartOver();
    }
    try {
        file_.Reserve(response.ContentLength());
    } catch (const RuntimeError& e) {
        return ArchiveDownload::CannotSave(e);
    }
    return {};
}

TransferFailure ArchiveReceiver::Take(const char* data, qsizetype size) {
    try {
        file_.Write(data, size);
    } catch (const RuntimeError& e) {
        return ArchiveDownload::CannotSave(e);
    }
    if (verifier_)
        verifier_->Update(data, size);
    return {};
}

bool ArchiveReceiver::RestartWanted(int status) const {
    return file_.KeptSize() > 0 && (rangeMisfit_ || status == 416);
}

void ArchiveReceiver::StartOver() {
    file_.StartOver();
    resumed_ = false;
    if (verifier_)
        verifier_.emplace();
}

ArchiveVerifier::Verdict ArchiveReceiver::Verify(const QByteArray& signatureText) const {
    if (!verifier_)
        return {{}, keys_.Problem()};
    return verifier_->Verify(keys_, signatureText, file_.ReadablePath());
}

ArchiveVerifier::Verdict ArchiveReceiver::Verify(const QByteArray& signatureText,
                                                 const QString& path, std::int64_t size) const {
    if (!verifier_)
        return {{}, keys_.Problem()};
    ArchiveVerifier verifier;
    const QByteArray unreadable = verifier.UpdateFromFile(path, size);
    if (!unreadable.isEmpty())
        return {{}, unreadable};
    return verifier.Verify(keys_, signatureText, path);
}

void ArchiveReceiver::Interrupt(bool sound) {
    // A kept part this response never wrote to is as good as it was.
    if (file_.KeptSize() > 0 && file_.Size() == file_.KeptSize())
        file_.Keep(file_.KeptValidator());
    else
        file_.Keep(sound ? validator_ : QByteArray());
}
