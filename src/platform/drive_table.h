#pragma once
// The drive table: the stand-in for drive letters and the shell's drive list. Block devices
// come from sysfs; image files are added by name. Each entry has a letter (A: = 1).
#include "platform/logical_drive.h"
#include "platform/partition_table.h"
#include "platform/sysfs_block_devices.h"
#include "platform/volume.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

// Whether the drive's medium is still there: an image file still exists, a device is still listed
// in sysfs with sectors (a card pulled out of its reader leaves a disk of size 0, an unplugged
// reader no disk at all). True for drives that are not block devices or images.
bool DriveMediumPresent(std::uint8_t drive);

// Drive kinds as GetDriveTypeA answers them.
enum : std::uint32_t {
    DRIVE_UNKNOWN = 0,
    DRIVE_NO_ROOT_DIR = 1,
    DRIVE_REMOVABLE = 2,
    DRIVE_FIXED = 3,
    DRIVE_REMOTE = 4,
    DRIVE_CDROM = 5,
    DRIVE_RAMDISK = 6,
};

struct DriveEntry {
    std::uint8_t number = 0;        // 1 = A:
    std::string path;               // /dev/sdb1 or /home/me/card.img
    std::string displayName;        // "SanDisk SDDR-113 (sdb1, 64.00 MB)" or "card.img (image)"
    std::uint32_t kind = DRIVE_UNKNOWN;
    std::string iconName;           // theme icon: drive-removable-media, drive-harddisk, media-optical
    std::string fileSystem;         // "FAT12", "FAT16", "FAT32", "vfat", "ext4", ... ; empty when unknown
    std::string volumeLabel;
    std::uint64_t offsetBytes = 0;  // where the volume starts inside path
    std::uint64_t sizeBytes = 0;
    bool isImage = false;
    bool isPartitionTable = false;  // a whole disk or image that starts with MBR/GPT
    int partitionNumber = 0;        // a partition's number in its disk's table; 0 for a whole drive
    std::string diskPath;           // the whole disk or image a partition lies on; empty for a whole drive
    std::shared_ptr<VolumeOpener> opener;
    // A block device the kernel lists: its sysfs name ("sdb1") and what identified it when the
    // table was read. Empty for images and added volumes.
    std::string sysfsName;
    BlockDeviceIdentity identity;

    char letter() const { return LogicalDrive(number).letter(); }
    std::string root() const { return LogicalDrive(number).root(); }
};

class DriveTable {
public:
    static DriveTable& instance();

    // Tests point enumeration at a fake sysfs tree; "/sys" otherwise.
    void setSysfsRoot(std::string root);
    // Where the device nodes of the sysfs names are ("/dev"); tests point it at image files.
    void setDevRoot(std::string root);
    // The mount table that names the device holding "/" ("/proc/self/mounts"), consulted when
    // the device number of "/" matches no block device.
    void setMountsFile(std::string path);
    // Re-reads the block devices; images and added volumes stay.
    void refresh();
    const std::string& sysfsRoot() const;
    // What sysfs says now of the block device that the drive was when the table was read; none
    // when the drive is no block device or its name has gone.
    std::optional<BlockDeviceIdentity> currentIdentity(const DriveEntry& drive) const;
    // The block devices as sysfs lists them now, names and sizes: a different answer means a
    // device or a medium came or went, and refresh() is due. Cheap enough to poll.
    std::string blockDevicesFingerprint() const;
    // See DriveMediumPresent.
    bool mediumPresent(std::uint8_t number) const;

    // Adds an image file or a block device named by path, plus one drive per partition when it
    // starts with a partition table. Returns the drive numbers added (the first is the whole
    // image). An empty result means failure, with a user-facing reason in error.
    std::vector<std::uint8_t> addPath(const std::string& path, std::string& error);

    // Adds a volume served by a custom opener (tests: in-memory and failing volumes).
    std::optional<std::uint8_t> addVolume(DriveEntry entry);

    // The partition table at the start of a whole drive, each partition with the drive that reads
    // it: the kernel's partition device or the one added with the image, else a drive added now
    // for its range. An empty kind when the drive is a partition or starts with no table.
    PartitionTable partitionTableOf(std::uint8_t disk);

    const DriveEntry* find(std::uint8_t number) const;
    const DriveEntry* findByPath(const std::string& path) const;
    std::vector<DriveEntry> entries() const;
    void clear();

private:
    DriveTable();
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

// A drive argument split into the drive and the partition it names: "card.img@2" is partition 2
// of card.img, "card.img@0" the whole image. A path that exists as typed is never split.
struct DriveArgument {
    std::string drive;
    std::optional<int> partition;
};
DriveArgument SplitDriveArgument(const std::string& arg);

// "E:", "e", "/dev/sdb1", "card.img", "card.img@2" or "/dev/sdb@1": the drive number, adding a
// path to the table when needed. A partition that the table does not hold is refused, and the
// error names the partitions there are.
std::optional<std::uint8_t> ResolveDrive(const std::string& arg, std::string& error);

// GetDriveTypeA for a root path such as "E:\"; DRIVE_NO_ROOT_DIR when there is no such drive.
std::uint32_t GetDriveTypeA(const std::string& root);

// Whether the drive's volume can be opened for reading: 0, or an errno value (ENOENT, EACCES, ...).
int ProbeReadAccess(std::uint8_t drive);

// The stand-in for GetVolumeInformationA: probes the drive's volume now (the medium may have
// changed) and gives its file-system name ("FAT12", "FAT16", "FAT32", "ext4", ...) and label.
// False when the drive does not exist, cannot be read or holds no recognised file system.
bool GetVolumeFileSystemName(std::uint8_t drive, std::string& fsName, std::string& label);

}  // namespace quorvane
