#pragma once
// An owned file descriptor: closed when its owner goes away, so no early return leaks one.
// It lives in support, the lowest layer, because every layer above opens files.
#include <unistd.h>

#include <utility>

namespace quorvane {

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    ~FileDescriptor() { reset(); }

    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    int get() const noexcept { return fd_; }
    bool valid() const noexcept { return fd_ >= 0; }
    explicit operator bool() const noexcept { return valid(); }

    // Gives up ownership without closing.
    int release() noexcept { return std::exchange(fd_, -1); }

    // Closes the descriptor held (if any) and takes fd.
    void reset(int fd = -1) noexcept {
        const int old = std::exchange(fd_, fd);
        if (old >= 0 && old != fd) ::close(old);
    }

    // Closes now, for callers that must know whether buffered writes reached the file: 0, or -1
    // with errno set. The descriptor is gone either way, as with ::close.
    int close() noexcept {
        const int old = release();
        return old >= 0 ? ::close(old) : 0;
    }

private:
    int fd_ = -1;
};

}  // namespace quorvane
