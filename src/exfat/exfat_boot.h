#pragma once
// The exFAT boot region: the boot sector's fields and the checksum that guards the region. The
// volume keeps two copies of the region (sectors 0-11 and 12-23); mounting takes the first whose
// checksum holds, so a card whose first sectors were damaged is still read from the second.
#include <cstdint>
#include <optional>
#include <span>

namespace quorvane {

// Sectors in one boot region: the boot sector, eight extended boot sectors, the OEM parameters, a
// reserved sector and the checksum sector.
inline constexpr std::uint32_t ExFATBootRegionSectors = 12;
// Sector sizes range from 512 to 4096 bytes, clusters up to 32 MiB.
inline constexpr std::uint8_t ExFATMinSectorShift = 9;
inline constexpr std::uint8_t ExFATMaxSectorShift = 12;
inline constexpr std::uint8_t ExFATMaxClusterShift = 25;

struct TExFATBoot {
    std::uint64_t PartitionOffset = 0;
    std::uint64_t VolumeLength = 0;       // in sectors
    std::uint32_t FatOffset = 0;          // in sectors from the boot sector
    std::uint32_t FatLength = 0;          // in sectors, per FAT
    std::uint32_t ClusterHeapOffset = 0;  // first sector of cluster 2
    std::uint32_t ClusterCount = 0;
    std::uint32_t RootCluster = 0;
    std::uint32_t SerialNumber = 0;
    std::uint16_t Revision = 0;
    std::uint16_t VolumeFlags = 0;  // bit 0: the second FAT and bitmap are the active ones
    std::uint8_t BytesPerSectorShift = 0;
    std::uint8_t SectorsPerClusterShift = 0;
    std::uint8_t NumberOfFats = 0;

    std::uint32_t BytesPerSector() const { return std::uint32_t{1} << BytesPerSectorShift; }
    bool SecondFatActive() const { return NumberOfFats == 2 && (VolumeFlags & 1) != 0; }
};

// Whether a volume's first sector names itself exFAT ("EXFAT   " at offset 3).
bool HasExFATName(std::span<const std::uint8_t> Sector);

// The boot sector's fields when it names itself exFAT, ends in 55 AA and gives sizes within the
// ranges exFAT allows (sector and cluster shifts, one or two FATs, the FAT and the cluster heap
// after the boot regions); nullopt otherwise. At least 512 bytes are needed.
std::optional<TExFATBoot> DecodeExFATBoot(std::span<const std::uint8_t> Sector);

// The checksum of a boot region's first eleven sectors (Region holds at least 11 sectors of
// BytesPerSector bytes), leaving out the volume flags and the percent-in-use byte, which change
// while the volume is used.
std::uint32_t ExFATBootChecksum(std::span<const std::uint8_t> Region, std::uint32_t BytesPerSector);

// The boot sector of a whole region (12 sectors of the size its boot sector gives) when it decodes
// and the checksum sector repeats the region's checksum; nullopt otherwise.
std::optional<TExFATBoot> CheckedExFATBootRegion(std::span<const std::uint8_t> Region);

}  // namespace quorvane
