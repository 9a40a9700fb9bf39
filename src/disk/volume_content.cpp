#include "disk/volume_content.h"

#include "platform/drive_table.h"

#include <array>
#include <string_view>

namespace quorvane {
namespace {

struct KnownFileSystem {
    std::string_view probed;  // the probe's type
    std::string_view named;   // with its article, as a sentence names it
};

// The file systems a card or a stick is likely to have been given instead of FAT.
constexpr std::array<KnownFileSystem, 12> KnownFileSystems{{
    {"exFAT", "an exFAT file system"},
    {"ntfs", "an NTFS file system"},
    {"ext2", "an ext2 file system"},
    {"ext3", "an ext3 file system"},
    {"ext4", "an ext4 file system"},
    {"btrfs", "a Btrfs file system"},
    {"xfs", "an XFS file system"},
    {"f2fs", "an F2FS file system"},
    {"hfsplus", "an HFS+ file system"},
    {"apfs", "an APFS file system"},
    {"iso9660", "an ISO 9660 file system"},
    {"udf", "a UDF file system"},
}};

}  // namespace

bool TVolumeContent::IsFAT() const {
    // Exact names: "exFAT" holds the letters too, and is another file system.
    return FileSystem == "FAT" || FileSystem == "FAT12" || FileSystem == "FAT16" || FileSystem == "FAT32";
}

std::string TVolumeContent::Description() const {
    if (FileSystem.empty()) return "no file system that can be recognised";
    if (IsFAT()) return "a " + FileSystem + " file system";
    for (const auto& known : KnownFileSystems) {
        if (known.probed == FileSystem) return std::string(known.named);
    }
    return "a file system of the type \"" + FileSystem + "\"";
}

TVolumeContent ProbeVolumeContent(std::uint8_t Drive) {
    TVolumeContent content;
    std::string fileSystem, label;
    if (GetVolumeFileSystemName(Drive, fileSystem, label)) content.FileSystem = fileSystem;
    return content;
}

}  // namespace quorvane
