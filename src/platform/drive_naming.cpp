#include "platform/drive_naming.h"

#include "platform/drive_table.h"

#include <cstdio>

namespace quorvane {
namespace {

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

std::string KindName(std::uint32_t kind, bool floppy) {
    if (floppy) return "Floppy disk";
    switch (kind) {
        case DRIVE_REMOVABLE: return "Removable disk";
        case DRIVE_FIXED: return "Local disk";
        case DRIVE_REMOTE: return "Network disk";
        case DRIVE_CDROM: return "CD drive";
        case DRIVE_RAMDISK: return "RAM disk";
        default: return "Disk";
    }
}

}  // namespace

bool IsFloppyName(const std::string& name) { return StartsWith(name, "fd"); }

std::uint32_t DriveKindOf(const SysfsBlockDevice& d) {
    const std::string& n = d.isPartition() ? d.parent : d.name;
    if (StartsWith(n, "sr")) return DRIVE_CDROM;
    if (StartsWith(n, "ram") || StartsWith(n, "zram") || StartsWith(n, "brd")) return DRIVE_RAMDISK;
    if (StartsWith(n, "nbd")) return DRIVE_REMOTE;
    // An SD card in an MMC slot comes and goes; built-in eMMC (type "MMC") is the machine's own disk.
    if (d.removable || d.bus == "usb" || (d.bus == "mmc" && d.mmcType == "SD") || IsFloppyName(n)) {
        return DRIVE_REMOVABLE;
    }
    return DRIVE_FIXED;
}

std::string IconNameFor(std::uint32_t kind, bool floppy) {
    if (floppy) return "media-floppy";
    switch (kind) {
        case DRIVE_CDROM: return "media-optical";
        case DRIVE_REMOTE: return "network-server";
        case DRIVE_FIXED:
        case DRIVE_RAMDISK: return "drive-harddisk";
        default: return "drive-removable-media";
    }
}

std::string FormatSize(std::uint64_t bytes) {
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB"};
    if (bytes < 1024) return std::to_string(bytes) + " bytes";
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 4) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.2f %s", value, units[unit]);
    return text;
}

std::string DisplayNameOf(const SysfsBlockDevice& d, std::uint32_t kind) {
    std::string name = d.vendor;
    if (!d.model.empty()) name += (name.empty() ? "" : " ") + d.model;
    if (name.empty()) name = KindName(kind, IsFloppyName(d.isPartition() ? d.parent : d.name));
    std::string devName = d.name;
    for (char& c : devName) {
        if (c == '!') c = '/';
    }
    if (d.sizeBytes == 0) return name + " (" + devName + ")";
    return name + " (" + devName + ", " + FormatSize(d.sizeBytes) + ")";
}

std::string ImageDisplayName(const std::string& fileName, int partitionNumber) {
    if (partitionNumber > 0) return fileName + " partition " + std::to_string(partitionNumber) + " (image)";
    return fileName + " (image)";
}

}  // namespace quorvane
