#include "fat/fat_cleared_high_word.h"

#include "fat/fat_drive.h"
#include "fat/fat_objects.h"
#include "media/filedet.h"

#include <array>
#include <optional>

namespace quorvane {

namespace {

bool IsFreeCluster(TFATdrive& Drive, std::uint32_t Cluster) {
    return Drive.IsValidCluster(Cluster) && ClusterType(Drive.FATType, Drive.GetFAT(Cluster, 0)) == ctFree;
}

// Whether the cluster's first sector begins as a file of this name must; nullopt when the type's
// first bytes prove nothing or the sector cannot be read.
std::optional<bool> BeginsAsNamedAt(TFATdrive& Drive, std::uint32_t Cluster, const std::string& Name) {
    std::array<std::uint8_t, FATSectorSize> sector{};
    try {
        if (!Drive.ReadSec(static_cast<std::int32_t>(Drive.Cluster2Sec(Cluster)), 1, sector.data(), true))
            return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
    return BeginsAsNamed(Name, sector);
}

bool Fits(TFATdrive& Drive, std::uint32_t Cluster, const std::string& Name) {
    return IsFreeCluster(Drive, Cluster) && BeginsAsNamedAt(Drive, Cluster, Name).value_or(false);
}

}  // namespace

void RepairClearedHighWord(TFATdrive& Drive, TFATFile& File,
                           const std::function<std::vector<std::uint16_t>()>& NeighbourHighWords) {
    const std::uint32_t lastCluster = Drive.ClusterCount + 1;
    if (Drive.FATType != ftFAT32 || lastCluster <= 0xFFFF || File.Size == 0 || File.FirstCluster > 0xFFFF ||
        (File.State & StateDeleted) == 0)
        return;
    const std::uint32_t low = File.FirstCluster;
    const bool inUse = Drive.IsValidCluster(low) && !IsFreeCluster(Drive, low);
    const std::optional<bool> begins =
        Drive.IsValidCluster(low) ? BeginsAsNamedAt(Drive, low, File.Name) : std::optional<bool>(false);
    if (!inUse && begins.value_or(true)) return;  // nothing says the entry lost its high word
    if (!begins.has_value() && Drive.IsValidCluster(low)) {
        // The type cannot be told from its bytes: no other place can be shown to be the file's.
        File.DataNotFound = true;
        return;
    }

    auto take = [&](std::uint32_t high) {
        const std::uint32_t candidate = (high << 16) | low;
        if (high == 0 || candidate > lastCluster || !Fits(Drive, candidate, File.Name)) return false;
        File.FirstCluster = candidate;
        File.Condition = 1;
        return true;
    };
    for (std::uint16_t high : NeighbourHighWords()) {
        if (take(high)) return;
    }
    for (std::uint32_t high = 1; high <= (lastCluster >> 16); ++high) {
        if (take(high)) return;
    }
    File.DataNotFound = true;
}

}  // namespace quorvane
