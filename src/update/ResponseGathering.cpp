#include "update/ResponseGathering.h"

#include "update/ArchiveDownload.h"
#include "update/HttpResponse.h"
#include "update/UpdateState.h"

namespace {

constexpr qsizetype notFoundSize = 13; // "404 not found"

} // namespace

void ResponseGathering::BeginText() {
    UpdateState& state = SharedState();
    state.SetResponse({});
    state.expectedLength = 0;
    state.transferDone = vbFalse;
    archive_.reset();
    mentionsNotFound_ = false;
    scanTail_.clear();
    reader_.Reset([this](const char* data, qsizetype size) { return TakeText(data, size); },
                  [this](const HttpResponseReader&) { return CheckHead(); });
}

void ResponseGathering::BeginArchive(const QString& target) {
    BeginText();
    archive_ = std::make_unique<DownloadFile>(target);
    reader_.Reset([this](const char* data, qsizetype size) { return TakeArchive(data, size); },
                  [this](const HttpResponseReader&) { return CheckHead(); });
}

QByteArray ResponseGathering::TakeArrival(const QByteArray& data) {
    UpdateState& state = SharedState();
    const QByteArray failure = reader_.Feed(data);
    state.responseLength = reader_.Received();
    state.expectedLength = reader_.ExpectedLength();
    state.transferDone = failure.isEmpty() && reader_.Complete() ? vbTrue : vbFalse;
    if (state.transferDone == vbTrue && !archive_)
        mentionsNotFound_ = HttpResponse::ContainsNotFound(state.responseBuffer);
    return failure;
}

QByteArray ResponseGathering::CheckHead() {
    const std::int64_t length = reader_.ContentLength();
    if (!archive_) {
        if (length > textLimit)
            return "The server sent a text file larger than 1 MiB.";
        SharedState().responseBuffer.reserve(qsizetype(length));
        return {};
    }
    try {
        if (reader_.StatusCode() != 404)
            archive_->Reserve(length);
    } catch (const RuntimeError& e) {
        return ArchiveDownload::CannotSave(e);
    }
    return {};
}

QByteArray ResponseGathering::TakeText(const char* data, qsizetype size) {
    SharedState().responseBuffer.append(data, size);
    return {};
}

QByteArray ResponseGathering::TakeArchive(const char* data, qsizetype size) {
    // An answer not declared an archive is read for the not-found words as it
    // passes, including words split between two arrivals.
    if (!mentionsNotFound_ && !DeclaresZip()) {
        const QByteArray seam = scanTail_ + QByteArray::fromRawData(data, qMin(size, notFoundSize));
        mentionsNotFound_ = HttpResponse::ContainsNotFound(seam.constData(), seam.size()) ||
                            HttpResponse::ContainsNotFound(data, size);
        scanTail_ =
            (size >= notFoundSize ? QByteArray() : scanTail_) +
            QByteArray(data + qMax<qsizetype>(0, size - notFoundSize), qMin(size, notFoundSize));
        scanTail_ = scanTail_.right(notFoundSize - 1);
    }
    try {
        archive_->Write(data, size);
    } catch (const RuntimeError& e) {
        return ArchiveDownload::CannotSave(e);
    }
    return {};
}

bool ResponseGathering::NotFound() const {
    return reader_.StatusCode() == 404 || mentionsNotFound_;
}

bool ResponseGathering::DeclaresZip() const {
    return reader_.Header("content-type").toLower().startsWith("application/zip");
}

void ResponseGathering::SaveArchive() {
    archive_->Commit();
    archive_.reset();
}
