#include "update/CappedBody.h"

TransferFailure CappedBody::TakeKept(const QString& /*path*/, std::int64_t size) {
    return Take(nullptr, qsizetype(size));
}

TransferFailure CappedBody::Take(const char* /*data*/, qsizetype size) {
    received_ += size;
    if (received_ > limit_)
        return {TransferFailure::Kind::TooLarge,
                "The server sent more than " + QByteArray::number(limit_ / 1024) + " KiB for it."};
    return {};
}
