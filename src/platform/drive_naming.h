#pragma once
// How a block device appears as a drive: its kind (as GetDriveTypeA answers it), display name
// and theme icon.
#include "platform/sysfs_block_devices.h"

#include <cstdint>
#include <string>

namespace quorvane {

// sr* CD-ROM; ram*, zram*, brd RAM disk; nbd* remote; the removable flag, a USB bus or an SD card
// in an MMC slot removable (fd* floppies too); every other disk fixed, built-in eMMC included.
std::uint32_t DriveKindOf(const SysfsBlockDevice& device);

bool IsFloppyName(const std::string& name);

// "drive-removable-media", "drive-harddisk", "media-optical", "media-floppy", "network-server".
std::string IconNameFor(std::uint32_t kind, bool floppy);

// Binary units as the shell shows them: "512 bytes", "1.44 MB", "64.00 MB", "7.45 GB".
std::string FormatSize(std::uint64_t bytes);

// "SanDisk SDDR-113 (sdb1, 64.00 MB)"; without vendor and model the kind names the device
// ("Removable disk (sdc, 1.00 GB)"); a device without a medium shows no size ("CD drive (sr0)").
std::string DisplayNameOf(const SysfsBlockDevice& device, std::uint32_t kind);

// "card.img (image)", "card.img partition 2 (image)".
std::string ImageDisplayName(const std::string& fileName, int partitionNumber = 0);

}  // namespace quorvane
