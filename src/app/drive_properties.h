#pragma once
// A drive's size, sector size and kind, and the texts the main window's status panel shows for
// them; the command line's info shows the same.
#include "disk/ldiskio.h"

#include <cstdint>
#include <string>

namespace quorvane {

struct TDriveProperties {
    TLogDriveParams Params;
    std::uint64_t TotalSectors = 0;  // Params.TotalSectors in 64 bits: it passes 32 bits at 2 TiB
    bool Ready = false;          // the size and sector size could be read
    std::int32_t Kind = 0;       // as GetDriveTypeA answers; read only for a ready drive
    std::string Status;          // "Ready" or "Not Ready"
    std::string Media;           // "Removable", "Fixed", ...; "" for other kinds
    std::string Capacity;        // "64.00 MB"
    std::string BytesPerSector;  // "512"
};

TDriveProperties ReadDriveProperties(std::uint8_t drive);

// The capacity text of the drive labels: "64.00 MB".
std::string FormatCapacity(std::uint64_t totalSectors, std::uint32_t bytesPerSector);

}  // namespace quorvane
