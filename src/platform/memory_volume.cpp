#include "platform/memory_volume.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quorvane {
namespace {

class MemoryVolumeFile : public VolumeFile {
public:
    explicit MemoryVolumeFile(MemoryVolumeOpener& owner) : owner_(owner) {}

    bool readAt(std::uint64_t offset, void* dst, std::uint32_t n, std::uint32_t& got) override {
        got = 0;
        const auto& bytes = *owner_.bytes;
        if (n > 0 && touches(owner_.failingSectors, offset, n)) return false;
        if (offset >= bytes.size()) return true;
        got = static_cast<std::uint32_t>(std::min<std::uint64_t>(n, bytes.size() - offset));
        std::memcpy(dst, bytes.data() + offset, got);
        return true;
    }

    bool writeAt(std::uint64_t offset, const void* src, std::uint32_t n, std::uint32_t& put) override {
        put = 0;
        auto& bytes = *owner_.bytes;
        if (n > 0 && touches(owner_.failingWrites, offset, n)) return false;
        if (offset >= bytes.size()) return true;
        put = static_cast<std::uint32_t>(std::min<std::uint64_t>(n, bytes.size() - offset));
        std::memcpy(bytes.data() + offset, src, put);
        return true;
    }

    bool flush() override { return !owner_.failFlush; }

    bool geometry(DiskGeometry& out) override {
        out = {};
        out.bytesPerSector = owner_.bytesPerSector;
        out.mediaType = 11;  // removable media
        out.tracksPerCylinder = 1;
        out.sectorsPerTrack = 1;
        out.cylinders = static_cast<std::int64_t>(owner_.bytes->size() / owner_.bytesPerSector);
        return true;
    }

private:
    bool touches(const std::set<std::uint64_t>& sectors, std::uint64_t offset, std::uint32_t n) const {
        const std::uint64_t first = offset / owner_.bytesPerSector;
        const std::uint64_t last = (offset + n - 1) / owner_.bytesPerSector;
        auto it = sectors.lower_bound(first);
        return it != sectors.end() && *it <= last;
    }

    MemoryVolumeOpener& owner_;
};

}  // namespace

MemoryVolumeOpener::MemoryVolumeOpener(std::shared_ptr<std::vector<std::uint8_t>> b, std::uint32_t bps)
    : bytes(std::move(b)), bytesPerSector(bps) {}

std::unique_ptr<VolumeFile> MemoryVolumeOpener::open(bool forWrite, int& err) {
    if (forWrite && readOnly) {
        err = EROFS;
        return nullptr;
    }
    ++opens;
    if (forWrite) ++writeOpens;
    err = 0;
    return std::make_unique<MemoryVolumeFile>(*this);
}

}  // namespace quorvane
