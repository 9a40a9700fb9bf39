#pragma once
// What a drive's volume holds, named once from the platform's probe: the device list admits a
// drive by it, and the folder based method and the analysis tell the user by it why a drive
// cannot be read as FAT.
#include <cstdint>
#include <string>

namespace quorvane {

struct TVolumeContent {
    // The probed file system: "FAT12", "FAT16", "FAT32" or "FAT" for FAT volumes, "exFAT", else
    // the probe's type ("ntfs", "ext4", ...); empty when nothing was recognised.
    std::string FileSystem;

    bool IsFAT() const;
    bool IsExFAT() const { return FileSystem == "exFAT"; }
    // Whether the folder based method reads it: FAT or exFAT.
    bool IsReadByFolderMethod() const { return IsFAT() || IsExFAT(); }
    // The file system as a sentence names it: "a FAT16 file system", "an exFAT file system",
    // "an NTFS file system", "no file system that can be recognised".
    std::string Description() const;
};

// Probes the volume of drive Drive (1 = A:) now: the medium in a reader may have changed since
// the drive was listed.
TVolumeContent ProbeVolumeContent(std::uint8_t Drive);

}  // namespace quorvane
