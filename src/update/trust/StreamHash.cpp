#include "update/trust/StreamHash.h"

#include "platform/runtime/RuntimeError.h"
#include "update/trust/MinisignText.h"

#include <sodium.h>

namespace {

void RequireHashed(bool hashed) {
    if (!hashed)
        throw RuntimeError(RuntimeErrors::invalidCall, "The file cannot be hashed.", "libsodium");
}

} // namespace

StreamHash::StreamHash(size_t digestSize) : digestSize_(digestSize) {
    MinisignText::RequireSodium();
    RequireHashed(crypto_generichash_init(&state_, nullptr, 0, digestSize) == 0);
}

StreamHash::~StreamHash() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        pieces_.clear(); // nobody will ask for the digest
    }
    Finish();
}

void StreamHash::Add(const char* data, qsizetype size) {
    if (size < 0)
        throw RuntimeError(RuntimeErrors::invalidCall, "StreamHash");
    const bool inPlace = !worker_.joinable() && added_ < inPlaceBytes;
    added_ += size;
    if (inPlace) {
        Hash(data, size);
        RequireHashed(!failed_);
        return;
    }
    std::unique_lock<std::mutex> hold(lock_);
    if (!worker_.joinable()) {
        // The thread takes the state over; joining it hands it back.
        closing_ = false;
        worker_ = std::thread([this] { Run(); });
    }
    changed_.wait(hold, [this] { return pending_ < pendingBytes; });
    pieces_.emplace_back(data, size);
    pending_ += size;
    changed_.notify_all();
}

void StreamHash::Hash(const char* data, qsizetype size) {
    failed_ =
        failed_ || crypto_generichash_update(&state_, reinterpret_cast<const unsigned char*>(data),
                                             static_cast<unsigned long long>(size)) != 0;
}

void StreamHash::Run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        changed_.wait(hold, [this] { return !pieces_.empty() || closing_; });
        if (pieces_.empty())
            return;
        const QByteArray piece = std::move(pieces_.front());
        pieces_.pop_front();
        hold.unlock();
        Hash(piece.constData(), piece.size());
        hold.lock();
        pending_ -= piece.size();
        changed_.notify_all();
    }
}

void StreamHash::Finish() const {
    if (!worker_.joinable())
        return;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        closing_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

QByteArray StreamHash::Digest() const {
    Finish();
    RequireHashed(!failed_);
    crypto_generichash_state state = state_;
    QByteArray digest(qsizetype(digestSize_), Qt::Uninitialized);
    RequireHashed(crypto_generichash_final(&state, reinterpret_cast<unsigned char*>(digest.data()),
                                           digestSize_) == 0);
    return digest;
}
