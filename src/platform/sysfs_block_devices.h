#pragma once
// Block devices as sysfs lists them under <root>/class/block: whole disks and their partitions.
#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

struct SysfsBlockDevice {
    std::string name;        // "sdb1"; a '!' in the sysfs name stands for '/' in the /dev name
    std::string parent;      // "sdb" for a partition, empty for a whole disk
    int partitionNumber = 0; // a partition's number in its disk's table (sdb2: 2); 0 for a disk
    std::string devNumber;   // "8:17", from the dev file
    bool removable = false;  // the disk's removable flag (partitions take their disk's)
    bool hidden = false;
    std::string bus;         // "usb" or "mmc" when the disk sits on such a bus, else empty
    std::string mmcType;     // an MMC disk's device/type: "SD" for a card in a slot, "MMC" for built-in eMMC
    std::string vendor;      // trimmed; a partition takes its disk's
    std::string model;
    std::string serial;      // the disk's serial number where sysfs gives one; a partition takes its disk's
    std::uint64_t sizeBytes = 0;
    std::uint32_t logicalBlockSize = 512;
    bool hasPartitions = false;  // a whole disk with partitions listed

    bool isPartition() const { return !parent.empty(); }
};

// What tells one disk from another that takes its name later: a card swapped in the reader, or
// another USB drive that the kernel calls sdb once the first has gone.
struct BlockDeviceIdentity {
    std::string model;       // vendor and model
    std::string serial;
    std::uint64_t sizeBytes = 0;
    std::string devNumber;

    bool operator==(const BlockDeviceIdentity&) const = default;
};
BlockDeviceIdentity IdentityOf(const SysfsBlockDevice& device);

// Every entry of <sysfsRoot>/class/block, disks and partitions, in natural name order.
std::vector<SysfsBlockDevice> ReadSysfsBlockDevices(const std::string& sysfsRoot);

// "sdb2" before "sdb10": digit runs compare as numbers.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace quorvane
