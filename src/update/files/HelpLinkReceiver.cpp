#include "update/files/HelpLinkReceiver.h"

#include "platform/runtime/RuntimeError.h"
#include "update/files/ArchiveDownload.h"

namespace {

TransferFailure TooLarge() {
    return {TransferFailure::Kind::TooLarge,
            "The help-link file is larger than " +
                QByteArray::number(HelpLinkReceiver::sizeLimit / (1024 * 1024)) + " MiB."};
}

} // namespace

HelpLinkReceiver::HelpLinkReceiver(const QString& target) : file_(target) {}

TransferFailure HelpLinkReceiver::CheckHead(const HttpResponseReader& response) {
    const std::int64_t length = response.ContentLength();
    if (length > sizeLimit)
        return TooLarge();
    try {
        file_.Reserve(length);
    } catch (const RuntimeError& e) {
        return ArchiveDownload::CannotSave(e);
    }
    return {};
}

TransferFailure HelpLinkReceiver::Take(const char* data, qsizetype size) {
    // A body without an announced length is held to the bound as it grows.
    if (size > sizeLimit - file_.Size())
        return TooLarge();
    try {
        file_.Write(data, size);
    } catch (const RuntimeError& e) {
        return ArchiveDownload::CannotSave(e);
    }
    return {};
}

TransferFailure HelpLinkReceiver::Save() {
    try {
        file_.Commit();
    } catch (const RuntimeError& e) {
        return ArchiveDownload::CannotSave(e);
    }
    return {};
}
