#include "support/version_resource_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane::version_file {

PositionalFile::PositionalFile(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return;
    struct stat st{};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
}

PositionalFile::~PositionalFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<std::vector<std::uint8_t>> PositionalFile::Read(std::uint64_t offset, std::uint64_t count) const {
    if (fd_ < 0 || offset > size_ || count > size_ - offset) return std::nullopt;
    std::vector<std::uint8_t> bytes(count);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd_, bytes.data() + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        done += static_cast<std::size_t>(n);
    }
    return bytes;
}

}  // namespace quorvane::version_file
