#pragma once
// Logical sector I/O: raw sectors of a drive's volume, counted from its boot sector.
// Drives are numbered from 1 (A:). Every operation reports failure only through its result.
#include <cstdint>
#include <functional>
#include <string>

namespace quorvane {

#pragma pack(push, 1)
struct TLogDriveParams {
    std::uint16_t DriveType = 0;  // 0 unknown, 1 floppy, 2 removable, 3 fixed, 4 CD-ROM
    std::uint16_t Removable = 0;  // 1 when the medium can be removed
    std::uint32_t Cylinders = 0;
    std::uint32_t Heads = 0;
    std::uint32_t SectorsPerTrack = 0;
    std::uint32_t BytesPerSector = 0;
    std::uint32_t TotalSectors = 0;
};
#pragma pack(pop)
static_assert(sizeof(TLogDriveParams) == 24);

bool ReadLogicalSectors(std::uint8_t Drive, std::uint32_t LBA, std::uint16_t Count, void* Buffer);
bool WriteLogicalSectors(std::uint8_t Drive, std::uint32_t LBA, std::uint16_t Count, const void* Buffer);
bool GetLogDriveParams(std::uint8_t Drive, TLogDriveParams& Params);

// Sector numbers and counts in 64 bits, for drives of 2^32 sectors (2 TiB of 512-byte sectors) and
// more: TLogDriveParams.TotalSectors then holds 0xFFFFFFFF, and ReadLogicalSectors reaches only
// the first 2^32 sectors.
bool ReadLogicalSectors64(std::uint8_t Drive, std::uint64_t LBA, std::uint16_t Count, void* Buffer);
bool GetLogDriveSectorCount(std::uint8_t Drive, std::uint64_t& Sectors);
// Releases the volume handle kept between calls. Always true.
bool NT_CloseDrive();

extern bool optUseINT25;

// Where the unit's start-up messages go (a driver or the transfer buffer could not be had).
// Front ends set it before their first disk call; by default the messages go to stderr.
using DiskMessageHook = std::function<void(const std::string& caption, const std::string& text)>;
void SetDiskMessageHook(DiskMessageHook hook);

}  // namespace quorvane
