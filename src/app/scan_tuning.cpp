#include "app/scan_tuning.h"

#include "disk/ldiskio.h"
#include "media/recoverutils.h"

#include <algorithm>

namespace quorvane {

TSectorBuffer MakeSectorBuffer() { return TSectorBuffer(SectorBufferBytes + MinTestedSectorBytes); }

int SectorsAtOnceLimit(std::uint32_t bytesPerSector) {
    if (bytesPerSector == 0) return 1000;
    return std::max(1, static_cast<int>((SectorBufferBytes - 1) / bytesPerSector));
}

int DefaultSectorsAtOnce(const TLogDriveParams& params) {
    return std::clamp(static_cast<int>(params.TotalSectors / 100), 1, SectorsAtOnceLimit(params.BytesPerSector));
}

int ChosenSectorsAtOnce(int requested, const TLogDriveParams& params) {
    if (requested <= 0) return DefaultSectorsAtOnce(params);
    return std::clamp(requested, 1, SectorsAtOnceLimit(params.BytesPerSector));
}

int ChosenRetryCount(int requested) {
    if (requested <= 0) return DefaultRetryCount;
    return std::clamp(requested, RetryCountMin, RetryCountMax);
}

}  // namespace quorvane
