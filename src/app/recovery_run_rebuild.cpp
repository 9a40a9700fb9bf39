// The combined run's last step: photos checked damaged are rebuilt from their pieces on the card
// and rewritten where they come out whole (staged_rebuild.h).
#include "app/recovery_run.h"
#include "app/run_events.h"
#include "app/staged_rebuild.h"
#include "app/ui.h"

namespace quorvane {

void RecoveryRun::rebuildFragments(const TSectorRanges& taken) {
    if (report_.Cancelled) return;
    TRebuildDevice device;
    device.TotalSectors = report_.TotalSectors;
    device.BytesPerSector = params_.BytesPerSector;
    device.SectorsPerCluster = clusterSectors_;
    device.ClusterOrigin = clusterOrigin_;
    device.Read = [this](std::uint64_t sector, std::uint32_t count, std::uint8_t* out) {
        if (count == 0 || count > 0xFFFF) return false;
        const auto n = static_cast<std::uint16_t>(count);
        return ReadSectors ? ReadSectors(plan_.Drive, sector, n, out) : ReadLogicalSectors64(plan_.Drive, sector, n, out);
    };
    const auto goOn = [this] {
        PumpMessages();
        return !report_.Cancelled;
    };
    for (std::size_t index : RebuildDamagedPhotos(staged_, device, taken, goOn)) {
        --report_.Damaged;
        ++report_.Whole;
        ++report_.Rebuilt;
        Tell(Events.OnFileChecked, index, TFileCondition::Whole);
    }
}

}  // namespace quorvane
