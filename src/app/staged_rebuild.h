#pragma once
// Staged photos checked damaged, rebuilt from their pieces on the card (fragment_rebuild.h): each
// whose first sector is known is rebuilt, and rewritten in place when the rebuilt picture checks
// whole as the content check reads it; its condition and size follow.
#include "app/fragment_rebuild.h"
#include "app/staged_list.h"
#include "disk/sector_ranges.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace quorvane {

struct TRebuildDevice {
    TSectorReadFunction Read;
    std::uint64_t TotalSectors = 0;
    std::uint32_t BytesPerSector = 512;
    // The volume's clusters, as its mounted file system gives them: their size in sectors and the
    // device sector of one cluster's start. 0 when no file system gave them: 4 KiB from each
    // picture's own first sector then, which keeps every cluster size from 4 KiB up on the grid.
    std::uint32_t SectorsPerCluster = 0;
    std::uint64_t ClusterOrigin = 0;
};

// taken: sectors that other files hold, passed over by every piece; those a damaged staged file
// was read from are left out, for that read is no proof. goOn is asked before each photo; false
// stops. Returns the indexes of the files rebuilt.
std::vector<std::size_t> RebuildDamagedPhotos(TStagedList& staged, const TRebuildDevice& device, const TSectorRanges& taken,
                                              const std::function<bool()>& goOn = nullptr,
                                              const TRebuildLimits& limits = {});

}  // namespace quorvane
