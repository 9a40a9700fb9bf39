#pragma once
// Formatting a card that only a descriptor reaches: a user outside the disk group gets the card
// opened for writing by udisks2, but mkfs.fat can only open a path. mkfs.fat therefore writes into
// a sparse scratch image of the card's size, and what it wrote (boot sectors, FATs, root folder) is
// copied onto the card; the rest of the card is left as it was, as mkfs.fat leaves it.
#include "app/format_wipe.h"

#include <cstdint>

namespace quorvane {

// fd: the volume, open for writing; sizeBytes: its size. hiddenSectors: the sectors before the
// volume on its disk (a partition's start), written into the boot sector as mkfs.fat does for a
// partition device.
TToolResult FormatThroughDescriptor(int fd, std::uint64_t sizeBytes, const TFormatOptions& options,
                                    std::uint32_t hiddenSectors = 0);

// Whether this user cannot write the drive's device directly (so mkfs.fat could not either).
bool NeedsDiskServiceToFormat(const DriveEntry& drive);
// Asks the disk service (udisks2, which asks polkit for the password) to open the device for
// writing, then formats through the descriptor. Without the service: the plain open's reason.
TToolResult FormatThroughDiskService(const DriveEntry& drive, const TFormatOptions& options);

}  // namespace quorvane
