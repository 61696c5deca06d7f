#include "update/files/DeltaReceiver.h"

#include "update/delta/ZsyncControl.h"

DeltaReceiver::DeltaReceiver(const QString& target, const ZsyncControl& control)
    : control_(control), file_(target), assembly_(control, file_.Descriptor()) {}

void DeltaReceiver::CopySeedBlocks(const QString& seedPath,
                                   const std::vector<qint64>& seedOffsets) {
    file_.Reserve(control_.Length());
    assembly_.CopySeedBlocks(seedPath, seedOffsets);
}

TransferFailure DeltaReceiver::CheckHead(const HttpResponseReader& response) {
    const QByteArray refusal = reader_.Start(
        response.StatusCode(), response.Header("content-type"), response.Header("content-range"),
        control_.Length(), [this](qint64 offset, const char* data, qsizetype size) {
            return assembly_.Write(offset, data, size);
        });
    if (refusal.isEmpty())
        return {};
    return {TransferFailure::Kind::BadAnswer, refusal};
}

TransferFailure DeltaReceiver::Take(const char* data, qsizetype size) {
    const QByteArray refusal = reader_.Feed(data, size);
    if (refusal.isEmpty())
        return {};
    return {TransferFailure::Kind::BadAnswer, refusal};
}

std::int64_t DeltaReceiver::FileSize(const HttpResponseReader&) const {
    return control_.Length();
}

std::int64_t DeltaReceiver::Size() const {
    return control_.Length();
}

void DeltaReceiver::Commit() {
    file_.Assembled(control_.Length());
    file_.Commit();
}
