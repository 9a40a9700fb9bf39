#include "app/staged_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quorvane {

namespace {
constexpr std::size_t BufferBytes = 1 << 20;
}

StagedFileWriter::StagedFileWriter() : buffer_(BufferBytes) {}

StagedFileWriter::~StagedFileWriter() {
    if (fd_ >= 0) Close();
}

bool StagedFileWriter::Create(const std::string& path) {
    if (fd_ >= 0) Close();
    path_ = path;
    used_ = 0;
    errno_ = 0;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd_ < 0) {
        errno_ = errno;
        failedStep_ = "Cannot create";
        return false;
    }
    return true;
}

bool StagedFileWriter::Write(const std::uint8_t* data, std::size_t n) {
    if (fd_ < 0 || errno_ != 0) return false;
    if (used_ + n > buffer_.size() && !flush()) return false;
    if (n > buffer_.size()) {
        const ssize_t put = ::write(fd_, data, n);
        if (put != static_cast<ssize_t>(n)) {
            errno_ = put < 0 ? errno : ENOSPC;
            failedStep_ = "Cannot write";
            return false;
        }
        return true;
    }
    std::memcpy(buffer_.data() + used_, data, n);
    used_ += n;
    return true;
}

bool StagedFileWriter::flush() {
    std::size_t done = 0;
    while (done < used_) {
        const ssize_t put = ::write(fd_, buffer_.data() + done, used_ - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            errno_ = put < 0 ? errno : ENOSPC;
            failedStep_ = "Cannot write";
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    used_ = 0;
    return true;
}

bool StagedFileWriter::Close() {
    if (fd_ < 0) return errno_ == 0;
    if (errno_ == 0) flush();
    if (::close(fd_) != 0 && errno_ == 0) {
        errno_ = errno;
        failedStep_ = "Cannot write";
    }
    fd_ = -1;
    return errno_ == 0;
}

void StagedFileWriter::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    used_ = 0;
    if (!path_.empty()) ::unlink(path_.c_str());
}

std::string StagedFileWriter::Error() const {
    if (errno_ == 0) return {};
    return std::string(failedStep_) + " " + path_ + ": " + std::strerror(errno_);
}

}  // namespace quorvane
