#pragma once
// Whether a block device may be overwritten (wiped or formatted): only a card or USB drive that
// nothing uses. The rule looks at the whole disk: a partition is refused when any partition of
// its disk is mounted or held, since the disk then belongs to the running system.
#include <set>
#include <string>
#include <vector>

namespace quorvane {

// What the running system uses, as device numbers ("8:17").
struct DeviceUse {
    std::set<std::string> mounted;  // mounted file systems and active swap
    std::set<std::string> system;   // the devices holding "/" and the running program
};

// Reads the mount tables with device numbers, the swap list and where "/" and the program's file
// lie. Besides the program's own mount table, init's is read where it may be (as root): a program
// started in a container or a sandbox does not see the desktop's mounts in its own.
DeviceUse ReadDeviceUse(const std::vector<std::string>& mountInfoFiles = {"/proc/self/mountinfo", "/proc/1/mountinfo"},
                        const std::string& swapsFile = "/proc/swaps");

// Why the device named name in <sysfsRoot>/class/block ("sdb", "sdb1", "mmcblk0p1") may not be
// overwritten; "" when it may. It must be removable (the removable flag, a USB bridge or card
// reader, an SD card in an MMC slot), and neither it nor another partition of its disk may be
// mounted, used as swap, held by the device mapper, md or LVM (sysfs holders), or hold the system.
std::string DestructiveUseRefusal(const std::string& sysfsRoot, const std::string& name, const DeviceUse& use);

// The sysfs name of the block device node at path, found by its device number; "" when path is
// no block device or sysfs does not list it.
std::string SysfsNameOfNode(const std::string& sysfsRoot, const std::string& path);

// The device number "8:17" of a device node, "" when path is no block device.
std::string DeviceNumberOfNode(const std::string& path);

}  // namespace quorvane
