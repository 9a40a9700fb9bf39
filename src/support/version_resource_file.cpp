#include "support/version_resource_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane::version_file {

PositionalFile::PositionalFile(const std::string& path) {
    fd_.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd_) return;
    struct stat st{};
    if (::fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        fd_.reset();
        return;
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
}

std::optional<std::vector<std::uint8_t>> PositionalFile::Read(std::uint64_t offset, std::uint64_t count) const {
    if (!fd_ || offset > size_ || count > size_ - offset) return std::nullopt;
    std::vector<std::uint8_t> bytes(count);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd_.get(), bytes.data() + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        done += static_cast<std::size_t>(n);
    }
    return bytes;
}

}  // namespace quorvane::version_file
