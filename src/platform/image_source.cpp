#include "platform/image_source.h"

#include "platform/drive_table.h"
#include "platform/file_copy.h"
#include "platform/posix_volume.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace quorvane {

int ImageSource::CopyTo(int out, std::uint64_t outOffset, std::uint64_t at, std::uint64_t n) const {
    if (!Holds(at, n)) return EINVAL;
    std::uint64_t copied = 0;
    return CopyFileBytes(fd_.get(), volumeOffset_ + at, out, outOffset, n, copied);
}

std::shared_ptr<const ImageSource> OpenImageSource(std::uint8_t drive) {
    const DriveEntry* entry = DriveTable::instance().find(drive);
    if (entry == nullptr) return nullptr;
    // Only a volume read with pread from a file: other openers serve their sectors from memory or
    // from somewhere the file's bytes do not show.
    const auto* posix = dynamic_cast<const PosixVolumeOpener*>(entry->opener.get());
    if (posix == nullptr) return nullptr;
    FileDescriptor fd(::open(posix->path().c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return nullptr;
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    const auto fileBytes = static_cast<std::uint64_t>(st.st_size);
    const std::uint64_t offset = posix->offsetBytes();
    std::uint64_t bytes = fileBytes > offset ? fileBytes - offset : 0;
    if (posix->sizeBytes() != 0) bytes = std::min(bytes, posix->sizeBytes());
    return std::make_shared<const ImageSource>(std::move(fd), offset, bytes);
}

}  // namespace quorvane
