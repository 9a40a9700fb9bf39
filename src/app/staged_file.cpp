#include "app/staged_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quorvane {

StagedFileWriter::~StagedFileWriter() {
    if (fd_) Close();
}

bool StagedFileWriter::Create(const std::string& path, std::shared_ptr<const ImageSource> image) {
    if (fd_) Close();
    path_ = path;
    image_ = std::move(image);
    written_ = 0;
    pending_ = nullptr;
    pendingBytes_ = 0;
    extentBytes_ = 0;
    errno_ = 0;
    fd_.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd_) {
        errno_ = errno;
        failedStep_ = "Cannot create";
        return false;
    }
    return true;
}

void StagedFileWriter::Fail(int err) {
    errno_ = err;
    failedStep_ = "Cannot write";
}

bool StagedFileWriter::Append(const std::uint8_t* data, std::size_t n) {
    if (!fd_ || errno_ != 0) return false;
    if (pendingBytes_ > 0 && data == pending_ + pendingBytes_) {
        pendingBytes_ += n;
        return true;
    }
    if (!CopyExtent() || !Flush()) return false;
    pending_ = data;
    pendingBytes_ = n;
    return true;
}

bool StagedFileWriter::Append(const std::uint8_t* data, std::size_t n, std::uint64_t volumeOffset) {
    if (!image_ || !image_->Holds(volumeOffset, n)) return Append(data, n);
    if (!fd_ || errno_ != 0) return false;
    if (extentBytes_ > 0 && volumeOffset == extentOffset_ + extentBytes_) {
        extentBytes_ += n;
        return true;
    }
    if (!Flush() || !CopyExtent()) return false;
    extentOffset_ = volumeOffset;
    extentBytes_ = n;
    return true;
}

bool StagedFileWriter::CopyExtent() {
    if (!fd_ || errno_ != 0) return errno_ == 0;
    if (extentBytes_ == 0) return true;
    const int err = image_->CopyTo(fd_.get(), written_, extentOffset_, extentBytes_);
    if (err != 0) {
        Fail(err);
    } else {
        written_ += extentBytes_;
    }
    extentBytes_ = 0;
    return errno_ == 0;
}

bool StagedFileWriter::Flush() {
    if (!fd_ || errno_ != 0) return errno_ == 0;
    std::size_t done = 0;
    while (done < pendingBytes_) {
        const ssize_t put = ::pwrite(fd_.get(), pending_ + done, pendingBytes_ - done, static_cast<off_t>(written_));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            Fail(put < 0 ? errno : ENOSPC);
            break;
        }
        done += static_cast<std::size_t>(put);
        written_ += static_cast<std::uint64_t>(put);
    }
    pending_ = nullptr;
    pendingBytes_ = 0;
    return errno_ == 0;
}

bool StagedFileWriter::TruncateTo(std::uint64_t size) {
    if (!fd_ || errno_ != 0) return false;
    // Whatever is queued beyond size is dropped before it is written or copied.
    const std::uint64_t room = size > written_ ? size - written_ : 0;
    extentBytes_ = std::min(extentBytes_, room);
    pendingBytes_ = static_cast<std::size_t>(std::min<std::uint64_t>(pendingBytes_, room));
    if (!Flush() || !CopyExtent()) return false;
    if (size < written_) {
        if (::ftruncate(fd_.get(), static_cast<off_t>(size)) != 0) {
            Fail(errno);
            return false;
        }
        written_ = size;
    }
    return true;
}

bool StagedFileWriter::Close() {
    if (!fd_) return errno_ == 0;
    Flush();
    CopyExtent();
    if (fd_.close() != 0 && errno_ == 0) Fail(errno);
    image_.reset();
    return errno_ == 0;
}

void StagedFileWriter::Discard() {
    fd_.reset();
    image_.reset();
    pending_ = nullptr;
    pendingBytes_ = 0;
    extentBytes_ = 0;
    if (!path_.empty()) ::unlink(path_.c_str());
}

std::string StagedFileWriter::Error() const {
    if (errno_ == 0) return {};
    return std::string(failedStep_) + " " + path_ + ": " + std::strerror(errno_);
}

}  // namespace quorvane
