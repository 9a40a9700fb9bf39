#include "app/format_wipe.h"

#include "app/ui.h"
#include "platform/destructive_use.h"
#include "platform/drive_naming.h"
#include "platform/drive_table.h"
#include "platform/mount_table.h"
#include "platform/process_runner.h"
#include "support/file_descriptor.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace quorvane {
namespace {

std::string realPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string r = resolved;
    std::free(resolved);
    return r;
}

// Two names of one file: the same inode on the same device, so a hard link or a bind-mounted
// folder is the image it names, whatever its path.
bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa{}, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// The loop device's own answer: the device and inode of its backing file. It holds where the
// backing file's path in sysfs does not (a loop set up in another mount namespace, or the file
// renamed since). Only a node that is the device sysfs lists under name is asked.
bool loopServes(const std::string& sysBlock, const std::string& name, const struct stat& image) {
    std::ifstream devFile(sysBlock + "/" + name + "/dev");
    std::string number;
    if (!(devFile >> number)) return false;
    const std::string node = "/dev/" + name;
    if (DeviceNumberOfNode(node) != number) return false;
    const FileDescriptor fd(::open(node.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return false;
    loop_info64 info{};
    if (::ioctl(fd.get(), LOOP_GET_STATUS64, &info) != 0) return false;
    return info.lo_inode == image.st_ino && info.lo_device == static_cast<std::uint64_t>(image.st_dev);
}

// The device names (sdb, sdb1) that stand for this path: a whole disk also stands for its
// partitions, an image for the loop devices that serve it.
std::vector<std::string> namesServing(const std::string& path, const std::string& sysBlock) {
    std::vector<std::string> names;
    const std::string real = realPath(path);
    struct stat st{};
    // A device node, or a device name whose node udev has not made (yet).
    const bool device = ::stat(real.c_str(), &st) == 0 ? S_ISBLK(st.st_mode) : real.rfind("/dev/", 0) == 0;
    if (device) {
        names.push_back(real);
        return names;
    }
    // An image file: the loop devices whose backing file it is.
    struct stat image{};
    const bool imageKnown = ::stat(real.c_str(), &image) == 0;
    if (DIR* dir = ::opendir(sysBlock.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name.rfind("loop", 0) != 0) continue;
            std::ifstream backing(sysBlock + "/" + name + "/loop/backing_file");
            std::string file;
            const bool byPath = std::getline(backing, file) && sameFile(file, real);
            if (byPath || (imageKnown && loopServes(sysBlock, name, image))) names.push_back("/dev/" + name);
        }
        ::closedir(dir);
    }
    return names;
}

// Two device nodes of one device, whatever their names.
bool sameBlockDevice(const std::string& a, const std::string& b) {
    struct stat sa{}, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && S_ISBLK(sa.st_mode) && S_ISBLK(sb.st_mode) &&
           sa.st_rdev == sb.st_rdev;
}

bool sameOrPartitionOf(const std::string& mounted, const std::string& device) {
    if (mounted == device) return true;
    if (mounted.rfind(device, 0) != 0 || mounted.size() == device.size()) return false;
    // sdb -> sdb1, mmcblk0 / loop0 -> mmcblk0p1 / loop0p1
    const char next = mounted[device.size()];
    return (next >= '0' && next <= '9') || (next == 'p' && mounted.size() > device.size() + 1);
}

}  // namespace

std::vector<std::string> MountPointsOf(const DriveEntry& drive, const std::string& mountsFile,
                                       const std::string& sysBlock) {
    std::vector<std::string> targets;
    const auto devices = namesServing(drive.path, sysBlock);
    if (devices.empty()) return targets;
    for (const MountEntry& mount : ReadMountTable(mountsFile)) {
        if (mount.source.empty() || mount.source[0] != '/') continue;
        const std::string mounted = realPath(mount.source);
        // A partition of an image is its own drive but shares the image's loop device.
        const bool served = std::any_of(devices.begin(), devices.end(), [&](const std::string& device) {
            return sameOrPartitionOf(mounted, device) || sameBlockDevice(mounted, device);
        });
        if (served) targets.push_back(mount.target);
    }
    return targets;
}

std::string MountPointOf(const DriveEntry& drive, const std::string& mountsFile, const std::string& sysBlock) {
    const auto targets = MountPointsOf(drive, mountsFile, sysBlock);
    return targets.empty() ? "" : targets.front();
}

std::string OverwriteRefusal(const DriveEntry& drive, const std::string& mountsFile, const DeviceUse& use) {
    if (const std::string mountPoint = MountPointOf(drive, mountsFile); !mountPoint.empty()) {
        return drive.path + " is mounted on " + mountPoint + ". Unmount it first.";
    }
    const DriveTable& table = DriveTable::instance();
    const std::string nodeNumber = DeviceNumberOfNode(drive.path);
    std::string name = drive.sysfsName;
    if (name.empty() && !nodeNumber.empty()) name = SysfsNameOfNode(table.sysfsRoot(), drive.path);
    if (name.empty()) {
        if (!nodeNumber.empty()) return "The system does not list " + drive.path + "; it is not wiped or formatted.";
        return "";  // an image file, or a volume the program serves itself
    }
    if (std::string refusal = DestructiveUseRefusal(table.sysfsRoot(), name, use); !refusal.empty()) return refusal;
    if (drive.sysfsName.empty()) return "";
    // The name may now stand for another device: a card swapped in the reader, another USB drive.
    const auto now = table.currentIdentity(drive);
    const bool sameNode =
        nodeNumber.empty() || drive.identity.devNumber.empty() || nodeNumber == drive.identity.devNumber;
    if (!now || *now != drive.identity || !sameNode) {
        return drive.path + " is no longer the " + DriveNameForUser(drive) +
               " that was listed. Nothing was written; check the drive list again.";
    }
    return "";
}

std::string DriveNameForUser(const DriveEntry& drive) {
    if (drive.sysfsName.empty()) return drive.displayName;
    const std::string model = drive.identity.model.empty() ? "Drive" : drive.identity.model;
    return model + " " + FormatSize(drive.identity.sizeBytes) + " (" + drive.path + ")";
}

std::string VolumeLabelProblem(const std::string& label) {
    if (label.size() > 11) return "A volume label has at most 11 characters.";
    for (const unsigned char c : label) {
        if (c < 0x20 || c > 0x7E) return "A volume label holds only plain letters, digits and blanks.";
        if (std::string("\"*+,./:;<=>?[\\]|").find(static_cast<char>(c)) != std::string::npos) {
            return std::string("A volume label cannot hold the character ") + static_cast<char>(c) + ".";
        }
    }
    return "";
}

std::vector<std::string> MkfsFatArguments(const DriveEntry& drive, const TFormatOptions& options) {
    std::vector<std::string> args{"mkfs.fat"};
    if (options.FileSystem == "FAT12") args.insert(args.end(), {"-F", "12"});
    if (options.FileSystem == "FAT16") args.insert(args.end(), {"-F", "16"});
    if (options.FileSystem == "FAT32") args.insert(args.end(), {"-F", "32"});
    if (!options.VolumeLabel.empty()) {
        std::string upper = options.VolumeLabel;
        for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        args.insert(args.end(), {"-n", upper});
    }
    if (!drive.isImage) {
        // A card formatted without a partition table is a whole-disk volume, as cameras make them;
        // mkfs.fat asks for -I to write one. Mounted volumes were refused before.
        args.push_back("-I");
    }
    if (drive.isImage && drive.offsetBytes != 0) {
        args.insert(args.end(), {"--offset", std::to_string(drive.offsetBytes / 512)});
    }
    args.push_back(drive.path);
    if (drive.isImage && drive.sizeBytes != 0) args.push_back(std::to_string(drive.sizeBytes / 1024));
    return args;
}

TToolResult RunTool(const std::vector<std::string>& arguments) {
    TToolResult result;
    if (arguments.empty()) return result;
    ProcessOptions options;
    options.program = FindProgram(arguments[0]);
    if (options.program.empty()) {
        result.Output = arguments[0] + " was not found; install dosfstools.";
        return result;
    }
    options.captureOutput = true;
    const ProcessResult r = RunProcess(arguments, options, [] { PumpMessages(); });
    result.Output = r.output;
    if (!r.started) {
        result.Output = "Cannot start " + options.program + ": " + std::strerror(r.startError);
    } else if (r.exited) {
        result.ExitCode = r.exitCode;
    } else if (r.signal != 0) {
        result.ExitCode = 128 + r.signal;
    }
    return result;
}

}  // namespace quorvane
