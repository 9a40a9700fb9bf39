#pragma once
// A volume held in memory, for tests and fuzzing. Sectors listed as failing make every read
// that touches them fail, the way a scratched card does, so retry paths can be exercised.
#include "platform/volume.h"

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

namespace quorvane {

class MemoryVolumeOpener : public VolumeOpener {
public:
    MemoryVolumeOpener(std::shared_ptr<std::vector<std::uint8_t>> bytes, std::uint32_t bytesPerSector = 512);

    std::unique_ptr<VolumeFile> open(bool forWrite, int& err) override;

    std::set<std::uint64_t> failingSectors;  // reads covering these sectors fail
    std::set<std::uint64_t> failingWrites;   // writes covering these sectors fail
    bool failFlush = false;                  // flushing reports an error, as fsync gives EIO
    bool readOnly = false;                   // opening for writing fails with EROFS
    int opens = 0;                           // how often the volume was opened
    int writeOpens = 0;

    std::shared_ptr<std::vector<std::uint8_t>> bytes;
    std::uint32_t bytesPerSector;
};

}  // namespace quorvane
