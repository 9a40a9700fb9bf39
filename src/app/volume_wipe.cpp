#include "app/volume_wipe.h"

#include "platform/volume.h"

#include <algorithm>
#include <cstring>

namespace quorvane {
namespace {

bool writeSectors(VolumeFile& file, std::uint64_t first, std::uint32_t count, std::uint32_t bytesPerSector,
                  const std::uint8_t* zeros) {
    const std::uint32_t bytes = count * bytesPerSector;
    std::uint32_t put = 0;
    // A short write means the medium ended early: those sectors were not wiped.
    return file.writeAt(first * bytesPerSector, zeros, bytes, put) && put == bytes;
}

}  // namespace

TWipeReport WipeVolume(VolumeFile& file, std::uint64_t totalSectors, std::uint32_t bytesPerSector,
                       std::uint32_t blockSectors, std::uint8_t* zeros,
                       const std::function<bool(std::uint64_t done)>& keepGoing) {
    TWipeReport report;
    if (bytesPerSector == 0) return report;
    blockSectors = std::max<std::uint32_t>(blockSectors, 1);
    // The buffer is only read by the writes, so clearing it once serves every block.
    std::memset(zeros, 0, std::size_t{blockSectors} * bytesPerSector);
    std::uint64_t done = 0;
    while (done < totalSectors) {
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(blockSectors, totalSectors - done));
        if (writeSectors(file, done, count, bytesPerSector, zeros)) {
            report.SectorsWritten += count;
        } else {
            for (std::uint32_t k = 0; k < count; ++k) {
                if (writeSectors(file, done + k, 1, bytesPerSector, zeros)) {
                    ++report.SectorsWritten;
                } else {
                    ++report.SectorsFailed;
                }
            }
        }
        done += count;
        if (done < totalSectors && !keepGoing(done)) {
            report.Cancelled = true;
            break;
        }
    }
    report.FlushFailed = !file.flush();
    return report;
}

}  // namespace quorvane
