#pragma once
// Overwriting a volume with zeros, block by block, in 64-bit sector numbers, and making sure the
// zeros reached the medium before the wipe is reported done.
#include <cstdint>
#include <functional>

namespace quorvane {

class VolumeFile;

struct TWipeReport {
    std::uint64_t SectorsWritten = 0;  // sectors that took their zeros
    std::uint64_t SectorsFailed = 0;   // sectors that refused them (or lay past a medium that shrank)
    bool FlushFailed = false;          // the medium reported an error when the writes were flushed
    bool Cancelled = false;
};

// Writes zeros over sectors [0, totalSectors) of file, blockSectors at a time, from zeros (at
// least blockSectors * bytesPerSector bytes; this function clears them). After each block,
// keepGoing(sectors done) is asked whether to go on. A block that fails is written again sector
// by sector, so the count of failed sectors is exact. The volume is flushed at the end, also
// after a cancel: the sectors written are then known to be zero.
TWipeReport WipeVolume(VolumeFile& file, std::uint64_t totalSectors, std::uint32_t bytesPerSector,
                       std::uint32_t blockSectors, std::uint8_t* zeros,
                       const std::function<bool(std::uint64_t done)>& keepGoing);

}  // namespace quorvane
