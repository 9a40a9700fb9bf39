#pragma once
// What formatting a drive needs besides the main window: the mount check that format and wipe
// share, the options of the format dialog and the run of mkfs.fat.
#include <string>
#include <vector>

namespace quorvane {

struct DriveEntry;
struct DeviceUse;

struct TFormatOptions {
    // "FAT12", "FAT16", "FAT32", or "" to let mkfs.fat choose by the volume's size.
    std::string FileSystem;
    std::string VolumeLabel;
};

// Where the drive's volume, or a volume inside it, is mounted according to mountsFile
// (/proc/self/mounts); "" when nothing of it is mounted. An image counts as mounted when a loop
// device serving it is.
std::string MountPointOf(const DriveEntry& drive, const std::string& mountsFile,
                         const std::string& sysBlock = "/sys/block");
// Every place where the drive's volume, or a volume inside it, is mounted, in the table's order:
// a volume can be mounted more than once, and a whole disk's partitions each on their own.
std::vector<std::string> MountPointsOf(const DriveEntry& drive, const std::string& mountsFile,
                                       const std::string& sysBlock = "/sys/block");

// Why the drive may not be overwritten (wiped or formatted) now; "" when it may. Every drive is
// refused while it, or a volume inside it, is mounted according to mountsFile. A block device must
// besides pass the removable rule and the checks of use (DestructiveUseRefusal), and still be the
// device that the drive list read: the same model, serial number, size and device number. A
// block device that sysfs does not list is refused, since none of that can be known of it.
std::string OverwriteRefusal(const DriveEntry& drive, const std::string& mountsFile, const DeviceUse& use);

// The drive as the user knows it, for the questions before a write: "SanDisk Ultra 29.72 GB
// (/dev/sdb)" for a block device, the drive list's name for an image.
std::string DriveNameForUser(const DriveEntry& drive);

// Why a volume label cannot be written into a FAT boot sector; "" when it can.
std::string VolumeLabelProblem(const std::string& label);

// The mkfs.fat command line for the drive: the image's partition is addressed by its offset.
std::vector<std::string> MkfsFatArguments(const DriveEntry& drive, const TFormatOptions& options);

struct TToolResult {
    int ExitCode = -1;       // -1 when the tool could not be started
    std::string Output;      // what it wrote to stdout and stderr
};
// Runs a program (looked up in PATH, /usr/sbin and /sbin), pumping messages while it runs.
TToolResult RunTool(const std::vector<std::string>& arguments);

}  // namespace quorvane
