#include "exfat/exfat_boot.h"

#include "exfat/exfat_bytes.h"

#include <algorithm>
#include <cstring>

namespace quorvane {

bool HasExFATName(std::span<const std::uint8_t> Sector) {
    return Sector.size() >= 11 && std::memcmp(Sector.data() + 3, "EXFAT   ", 8) == 0;
}

std::optional<TExFATBoot> DecodeExFATBoot(std::span<const std::uint8_t> Sector) {
    if (Sector.size() < 512 || !HasExFATName(Sector) || Sector[510] != 0x55 || Sector[511] != 0xAA) return std::nullopt;
    const std::uint8_t* s = Sector.data();
    TExFATBoot boot;
    boot.PartitionOffset = ExFATU64(s + 64);
    boot.VolumeLength = ExFATU64(s + 72);
    boot.FatOffset = ExFATU32(s + 80);
    boot.FatLength = ExFATU32(s + 84);
    boot.ClusterHeapOffset = ExFATU32(s + 88);
    boot.ClusterCount = ExFATU32(s + 92);
    boot.RootCluster = ExFATU32(s + 96);
    boot.SerialNumber = ExFATU32(s + 100);
    boot.Revision = ExFATU16(s + 104);
    boot.VolumeFlags = ExFATU16(s + 106);
    boot.BytesPerSectorShift = s[108];
    boot.SectorsPerClusterShift = s[109];
    boot.NumberOfFats = s[110];
    if (boot.BytesPerSectorShift < ExFATMinSectorShift || boot.BytesPerSectorShift > ExFATMaxSectorShift)
        return std::nullopt;
    if (boot.BytesPerSectorShift + boot.SectorsPerClusterShift > ExFATMaxClusterShift) return std::nullopt;
    if (boot.NumberOfFats != 1 && boot.NumberOfFats != 2) return std::nullopt;
    // The FAT follows the two boot regions; the cluster heap follows the FATs.
    if (boot.FatOffset < 2 * ExFATBootRegionSectors || boot.FatLength == 0) return std::nullopt;
    const std::uint64_t fatsEnd = std::uint64_t{boot.FatOffset} + std::uint64_t{boot.FatLength} * boot.NumberOfFats;
    if (boot.ClusterHeapOffset < fatsEnd) return std::nullopt;
    if (boot.ClusterCount == 0 || boot.RootCluster < 2 || boot.RootCluster > std::uint64_t{boot.ClusterCount} + 1)
        return std::nullopt;
    return boot;
}

std::uint32_t ExFATBootChecksum(std::span<const std::uint8_t> Region, std::uint32_t BytesPerSector) {
    const std::size_t bytes = std::min<std::size_t>(Region.size(), std::size_t{BytesPerSector} * 11);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        if (i == 106 || i == 107 || i == 112) continue;
        sum = ((sum & 1) != 0 ? 0x80000000u : 0u) + (sum >> 1) + Region[i];
    }
    return sum;
}

std::optional<TExFATBoot> CheckedExFATBootRegion(std::span<const std::uint8_t> Region) {
    const auto boot = DecodeExFATBoot(Region);
    if (!boot) return std::nullopt;
    const std::uint32_t bps = boot->BytesPerSector();
    if (Region.size() < std::size_t{bps} * ExFATBootRegionSectors) return std::nullopt;
    const std::uint32_t sum = ExFATBootChecksum(Region, bps);
    const std::uint8_t* checksums = Region.data() + std::size_t{bps} * 11;
    for (std::uint32_t i = 0; i < bps; i += 4) {
        if (ExFATU32(checksums + i) != sum) return std::nullopt;
    }
    return boot;
}

}  // namespace quorvane
