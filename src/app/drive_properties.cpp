#include "app/drive_properties.h"

#include "app/messages.h"
#include "platform/drive_table.h"
#include "platform/logical_drive.h"

#include <cstdio>

namespace quorvane {

TDriveProperties ReadDriveProperties(std::uint8_t drive) {
    TDriveProperties p;
    if (!GetLogDriveParams(drive, p.Params)) {
        p.Status = ListBoxStrings(msgNotReady);
        return p;
    }
    p.Ready = true;
    p.Kind = static_cast<std::int32_t>(GetDriveTypeA(LogicalDrive(drive).root()));
    if (p.Kind >= 2 && p.Kind <= 6) p.Media = ListBoxStrings(p.Kind - 1);
    p.BytesPerSector = std::to_string(p.Params.BytesPerSector);
    p.TotalSectors = p.Params.TotalSectors;
    if (std::uint64_t wide = 0; GetLogDriveSectorCount(drive, wide) && wide > p.TotalSectors) p.TotalSectors = wide;
    p.Capacity = FormatCapacity(p.TotalSectors, p.Params.BytesPerSector);
    p.Status = ListBoxStrings(msgReady);
    return p;
}

std::string FormatCapacity(std::uint64_t totalSectors, std::uint32_t bytesPerSector) {
    // Single precision, as the labels have always shown it.
    float kb = static_cast<float>(totalSectors) * (1.0f / 1024.0f);
    kb = kb * static_cast<float>(bytesPerSector);
    char text[64];
    if (kb < 1024.0f) {
        std::snprintf(text, sizeof text, "%.2f KB", static_cast<double>(kb));
    } else if (kb < 1048576.0f) {
        std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(kb / 1024.0f));
    } else {
        std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(kb / 1048576.0f));
    }
    return text;
}

}  // namespace quorvane
