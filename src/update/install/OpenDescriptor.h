// A descriptor that closes itself when it goes out of scope.
#pragma once

#include <unistd.h>
#include <utility>

class OpenDescriptor {
public:
    OpenDescriptor() = default;
    explicit OpenDescriptor(int fd) : fd_(fd) {}
    ~OpenDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    OpenDescriptor(OpenDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    OpenDescriptor& operator=(OpenDescriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    OpenDescriptor(const OpenDescriptor&) = delete;
    OpenDescriptor& operator=(const OpenDescriptor&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};
