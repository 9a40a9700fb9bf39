#include "platform/destructive_use.h"

#include "platform/drive_naming.h"
#include "platform/drive_table.h"
#include "platform/mount_table.h"
#include "platform/sysfs_block_devices.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

std::string NumberText(dev_t dev) { return std::to_string(major(dev)) + ":" + std::to_string(minor(dev)); }

// The device number of the block device at path ("/dev/sdb1"), "" for anything else.
std::string BlockNumberOf(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return {};
    return NumberText(st.st_rdev);
}

// The file system a file lies on, "" when it cannot be had.
std::string FileSystemNumberOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return NumberText(st.st_dev);
}

// The names that make up a disk: the disk and every partition sysfs lists on it.
std::vector<const SysfsBlockDevice*> FamilyOf(const std::vector<SysfsBlockDevice>& all, const std::string& disk) {
    std::vector<const SysfsBlockDevice*> family;
    for (const auto& d : all) {
        if (d.name == disk || d.parent == disk) family.push_back(&d);
    }
    return family;
}

// The devices stacked on this one (dm-crypt, LVM, md), from its holders folder.
std::vector<std::string> HoldersOf(const std::string& sysfsRoot, const std::string& name) {
    std::vector<std::string> holders;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(sysfsRoot) / "class" / "block" / name / "holders", ec), end;
         !ec && it != end; it.increment(ec)) {
        holders.push_back(it->path().filename().string());
    }
    return holders;
}

std::string DevName(const std::string& sysfsName) {
    std::string n = sysfsName;
    for (char& c : n) {
        if (c == '!') c = '/';
    }
    return n;
}

// Adds the mounts of one mount table to use.
void readMountInfo(const std::string& mountInfoFile, DeviceUse& use) {
    // mountinfo: "36 35 8:17 / /media/card rw - vfat /dev/sdb1 rw". The third field names the
    // device; file systems on several devices (btrfs) show an anonymous number there, so the
    // source after " - " counts too. Lines are bounded by the kernel; a missing file adds nothing.
    std::ifstream in(mountInfoFile);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, number, root, target;
        if (!(fields >> id >> parent >> number >> root >> target)) continue;
        if (number.rfind("0:", 0) != 0) use.mounted.insert(number);
        const auto dash = line.find(" - ");
        std::string source;
        if (dash != std::string::npos) {
            std::istringstream rest(line.substr(dash + 3));
            std::string type;
            rest >> type >> source;
        }
        const std::string sourceNumber = BlockNumberOf(UnescapeMountField(source));
        if (!sourceNumber.empty()) use.mounted.insert(sourceNumber);
        if (UnescapeMountField(target) == "/") {
            if (number.rfind("0:", 0) != 0) use.system.insert(number);
            if (!sourceNumber.empty()) use.system.insert(sourceNumber);
        }
    }
}

}  // namespace

std::string DeviceNumberOfNode(const std::string& path) { return BlockNumberOf(path); }

DeviceUse ReadDeviceUse(const std::vector<std::string>& mountInfoFiles, const std::string& swapsFile) {
    DeviceUse use;
    for (const std::string& file : mountInfoFiles) readMountInfo(file, use);
    std::string line;
    std::ifstream swaps(swapsFile);
    std::getline(swaps, line);  // the heading
    while (std::getline(swaps, line)) {
        std::istringstream fields(line);
        std::string name;
        if (fields >> name) {
            const std::string n = BlockNumberOf(UnescapeMountField(name));
            if (!n.empty()) use.mounted.insert(n);
        }
    }
    for (const char* path : {"/", "/proc/self/exe"}) {
        const std::string n = FileSystemNumberOf(path);
        if (!n.empty() && n.rfind("0:", 0) != 0) use.system.insert(n);
    }
    return use;
}

std::string SysfsNameOfNode(const std::string& sysfsRoot, const std::string& path) {
    const std::string number = BlockNumberOf(path);
    if (number.empty()) return {};
    for (const auto& d : ReadSysfsBlockDevices(sysfsRoot)) {
        if (d.devNumber == number) return d.name;
    }
    return {};
}

std::string DestructiveUseRefusal(const std::string& sysfsRoot, const std::string& name, const DeviceUse& use) {
    const auto all = ReadSysfsBlockDevices(sysfsRoot);
    const SysfsBlockDevice* device = nullptr;
    for (const auto& d : all) {
        if (d.name == name) device = &d;
    }
    const std::string shown = "/dev/" + DevName(name);
    if (device == nullptr) return shown + " is no longer there.";
    if (DriveKindOf(*device) != DRIVE_REMOVABLE) {
        return shown + " is not a card or USB drive; only those are wiped or formatted.";
    }
    const std::string disk = device->isPartition() ? device->parent : device->name;
    for (const SysfsBlockDevice* member : FamilyOf(all, disk)) {
        const std::string memberName = "/dev/" + DevName(member->name);
        if (!member->devNumber.empty() && use.system.count(member->devNumber) != 0) {
            return memberName + " holds the running system or this program; it is never wiped or formatted.";
        }
        if (!member->devNumber.empty() && use.mounted.count(member->devNumber) != 0) {
            return memberName + " is mounted or used as swap. Unmount it first.";
        }
        if (const auto holders = HoldersOf(sysfsRoot, member->name); !holders.empty()) {
            return memberName + " is in use by /dev/" + DevName(holders.front()) +
                   " (an encrypted volume, LVM or RAID). Close it first.";
        }
    }
    return "";
}

}  // namespace quorvane
