#include "app/staged_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quorvane {

StagedFileWriter::~StagedFileWriter() {
    if (fd_) Close();
}

bool StagedFileWriter::Create(const std::string& path) {
    if (fd_) Close();
    path_ = path;
    pending_ = nullptr;
    pendingBytes_ = 0;
    errno_ = 0;
    fd_.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd_) {
        errno_ = errno;
        failedStep_ = "Cannot create";
        return false;
    }
    return true;
}

bool StagedFileWriter::Append(const std::uint8_t* data, std::size_t n) {
    if (!fd_ || errno_ != 0) return false;
    if (pendingBytes_ > 0 && data == pending_ + pendingBytes_) {
        pendingBytes_ += n;
        return true;
    }
    if (!Flush()) return false;
    pending_ = data;
    pendingBytes_ = n;
    return true;
}

bool StagedFileWriter::Flush() {
    if (!fd_ || errno_ != 0) return errno_ == 0;
    std::size_t done = 0;
    while (done < pendingBytes_) {
        const ssize_t put = ::write(fd_.get(), pending_ + done, pendingBytes_ - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            errno_ = put < 0 ? errno : ENOSPC;
            failedStep_ = "Cannot write";
            break;
        }
        done += static_cast<std::size_t>(put);
    }
    pending_ = nullptr;
    pendingBytes_ = 0;
    return errno_ == 0;
}

bool StagedFileWriter::TruncateTo(std::uint64_t size) {
    if (!Flush() || !fd_) return false;
    if (::ftruncate(fd_.get(), static_cast<off_t>(size)) != 0) {
        errno_ = errno;
        failedStep_ = "Cannot write";
        return false;
    }
    if (::lseek(fd_.get(), 0, SEEK_END) < 0) {
        errno_ = errno;
        failedStep_ = "Cannot write";
        return false;
    }
    return true;
}

bool StagedFileWriter::Close() {
    if (!fd_) return errno_ == 0;
    Flush();
    if (fd_.close() != 0 && errno_ == 0) {
        errno_ = errno;
        failedStep_ = "Cannot write";
    }
    return errno_ == 0;
}

void StagedFileWriter::Discard() {
    fd_.reset();
    pending_ = nullptr;
    pendingBytes_ = 0;
    if (!path_.empty()) ::unlink(path_.c_str());
}

std::string StagedFileWriter::Error() const {
    if (errno_ == 0) return {};
    return std::string(failedStep_) + " " + path_ + ": " + std::strerror(errno_);
}

}  // namespace quorvane
