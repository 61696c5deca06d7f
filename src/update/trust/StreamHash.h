// A BLAKE2b hash of a stream of pieces. A large stream is hashed on a thread
// of its own, so that hashing an archive overlaps receiving and writing it
// instead of adding to it: the caller only hands the pieces on. A small one
// (the server's texts) is hashed in place and never starts a thread.
#pragma once

#include <QByteArray>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <sodium/crypto_generichash.h>
#include <thread>

class StreamHash {
public:
    // Bytes hashed in place before the rest goes to the hashing thread.
    static constexpr qint64 inPlaceBytes = 1024 * 1024;
    // Bytes handed on and not yet hashed, at most: the caller waits beyond.
    static constexpr qint64 pendingBytes = 4 * 1024 * 1024;

    // A hash of `digestSize` bytes. Raises RuntimeError when the
    // cryptography library cannot be used.
    explicit StreamHash(size_t digestSize);
    ~StreamHash();
    StreamHash(const StreamHash&) = delete;
    StreamHash& operator=(const StreamHash&) = delete;

    void Add(const char* data, qsizetype size);
    // The digest of every piece added so far; waits for the hashing thread.
    // May be asked more than once.
    QByteArray Digest() const;

private:
    void Hash(const char* data, qsizetype size);
    void Run();
    // Lets the hashing thread finish what it holds and end.
    void Finish() const;

    size_t digestSize_;
    qint64 added_ = 0;
    // Touched by the hashing thread only while it runs.
    crypto_generichash_state state_;
    bool failed_ = false;

    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    mutable std::deque<QByteArray> pieces_;
    mutable qint64 pending_ = 0;
    mutable bool closing_ = false;
    mutable std::thread worker_;
};
