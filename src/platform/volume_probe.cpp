#include "platform/volume_probe.h"

#include "support/file_descriptor.h"

#include <algorithm>
#include <blkid/blkid.h>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <memory>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace quorvane {
namespace {

// How much of a volume an opener-only probe copies: enough for every boot sector, FAT and a
// FAT12/16 root directory of a card; beyond it the anonymous file reads as zeros.
constexpr std::uint64_t OPENER_PROBE_BYTES = 16ull << 20;

struct ProbeDeleter {
    void operator()(blkid_probe p) const { blkid_free_probe(p); }
};
using ProbePtr = std::unique_ptr<std::remove_pointer_t<blkid_probe>, ProbeDeleter>;

std::string Lookup(blkid_probe pr, const char* name) {
    const char* value = nullptr;
    size_t len = 0;
    if (blkid_probe_lookup_value(pr, name, &value, &len) != 0 || value == nullptr) return {};
    return std::string(value, strnlen(value, len));
}

ProbePtr NewProbe(int fd, std::uint64_t offset, std::uint64_t size, bool withPartitions) {
    ProbePtr pr(blkid_new_probe());
    if (!pr) return pr;
    if (blkid_probe_set_device(pr.get(), fd, static_cast<blkid_loff_t>(offset), static_cast<blkid_loff_t>(size)) != 0) {
        return nullptr;
    }
    blkid_probe_enable_superblocks(pr.get(), 1);
    // VERSION (FAT12/FAT16/FAT32) is only reported when asked for.
    blkid_probe_set_superblocks_flags(pr.get(), BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL | BLKID_SUBLKS_VERSION);
    blkid_probe_enable_partitions(pr.get(), withPartitions ? 1 : 0);
    if (withPartitions) blkid_probe_set_partitions_flags(pr.get(), BLKID_PARTS_ENTRY_DETAILS);
    return pr;
}

// GPT entries carry a type GUID, MBR entries a type byte.
std::string PartitionTypeOf(blkid_partition part) {
    if (const char* guid = blkid_partition_get_type_string(part); guid != nullptr && *guid != '\0') {
        std::string text = guid;
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
        return text;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02x", static_cast<unsigned>(blkid_partition_get_type(part)) & 0xFFu);
    return hex;
}

}  // namespace

std::string FileSystemNameOf(const std::string& type, const std::string& version) {
    if (type == "vfat" || type == "msdos") {
        if (version == "FAT12" || version == "FAT16" || version == "FAT32") return version;
        return "FAT";
    }
    if (type == "exfat") return "exFAT";
    return type;
}

VolumeProbe ProbeVolume(int fd, std::uint64_t offsetBytes, std::uint64_t sizeBytes, bool withPartitions) {
    VolumeProbe result;
    ProbePtr pr = NewProbe(fd, offsetBytes, sizeBytes, withPartitions);
    if (!pr) return result;
    int rc = blkid_do_safeprobe(pr.get());
    if (rc == -2) {
        // Signatures of two file systems: take the first one found rather than none.
        pr = NewProbe(fd, offsetBytes, sizeBytes, withPartitions);
        if (!pr) return result;
        rc = blkid_do_probe(pr.get());
    }
    if (rc < 0) return result;
    result.readable = true;
    if (rc == 1) return result;  // nothing recognised

    result.type = Lookup(pr.get(), "TYPE");
    result.fileSystem = FileSystemNameOf(result.type, Lookup(pr.get(), "VERSION"));
    result.label = Lookup(pr.get(), "LABEL");
    result.partitionTable = Lookup(pr.get(), "PTTYPE");
    if (!withPartitions || result.partitionTable.empty()) return result;

    if (const unsigned sectorSize = blkid_probe_get_sectorsize(pr.get()); sectorSize != 0) result.sectorSize = sectorSize;
    blkid_partlist list = blkid_probe_get_partitions(pr.get());
    const int count = list ? blkid_partlist_numof_partitions(list) : 0;
    for (int i = 0; i < count; ++i) {
        blkid_partition part = blkid_partlist_get_partition(list, i);
        if (part == nullptr || blkid_partition_is_extended(part)) continue;
        const blkid_loff_t start = blkid_partition_get_start(part);
        const blkid_loff_t size = blkid_partition_get_size(part);
        if (start <= 0 || size <= 0) continue;
        ProbedPartition p;
        p.number = blkid_partition_get_partno(part);
        // libblkid counts partition positions in 512-byte sectors.
        p.startBytes = static_cast<std::uint64_t>(start) * 512;
        p.sizeBytes = static_cast<std::uint64_t>(size) * 512;
        p.type = PartitionTypeOf(part);
        result.partitions.push_back(p);
    }
    return result;
}

VolumeProbe ProbeVolumeThroughOpener(VolumeOpener& opener) {
    int err = 0;
    auto file = opener.open(false, err);
    DiskGeometry g;
    if (!file || !file->geometry(g) || g.bytesPerSector == 0) return {};
    const std::uint64_t size = static_cast<std::uint64_t>(g.cylinders) * g.tracksPerCylinder * g.sectorsPerTrack *
                               g.bytesPerSector;
    const FileDescriptor fd(memfd_create("quorvane-probe", MFD_CLOEXEC));
    if (!fd) return {};
    VolumeProbe result;
    if (ftruncate(fd.get(), static_cast<off_t>(size)) == 0) {
        // Sector by sector in blocks, so one unreadable sector leaves only a hole of zeros.
        const std::uint32_t block = 64 * g.bytesPerSector;
        std::vector<std::uint8_t> buffer(block);
        const std::uint64_t copyBytes = std::min(size, OPENER_PROBE_BYTES);
        for (std::uint64_t at = 0; at < copyBytes; at += block) {
            const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(block, copyBytes - at));
            std::uint32_t got = 0;
            if (file->readAt(at, buffer.data(), n, got) && got > 0) {
                if (pwrite(fd.get(), buffer.data(), got, static_cast<off_t>(at)) < 0) break;
            }
        }
        result = ProbeVolume(fd.get(), 0, size, false);
    }
    return result;
}

}  // namespace quorvane
