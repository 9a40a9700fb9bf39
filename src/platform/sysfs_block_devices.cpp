#include "platform/sysfs_block_devices.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

std::string ReadTrimmed(const fs::path& file) {
    std::ifstream in(file);
    if (!in) return {};
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::uint64_t ReadNumber(const fs::path& file, std::uint64_t fallback) {
    const std::string text = ReadTrimmed(file);
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
        return fallback;
    }
    try {
        return std::stoull(text);
    } catch (...) {
        return fallback;
    }
}

// A bus's numeric vendor id (virtio writes "0x1af4") names nothing a person would recognise.
bool IsNumericId(const std::string& s) {
    return s.size() > 2 && s.compare(0, 2, "0x") == 0 &&
           std::all_of(s.begin() + 2, s.end(), [](unsigned char c) { return std::isxdigit(c); });
}

// USB and MMC disks show their bus in the device path that the class link points at.
std::string BusOf(const fs::path& classEntry, const std::string& name) {
    if (name.rfind("mmcblk", 0) == 0) return "mmc";
    std::error_code ec;
    const fs::path real = fs::canonical(classEntry, ec);
    if (ec) return {};
    for (const auto& part : real) {
        const std::string s = part.string();
        if (s.rfind("usb", 0) == 0) return "usb";
        if (s.rfind("mmc", 0) == 0) return "mmc";
    }
    return {};
}

// The disk's serial number: MMC cards and NVMe disks give device/serial, SCSI disks a wwid; a USB
// bridge's serial sits on the USB device a few levels up the device path.
std::string SerialOf(const fs::path& dir) {
    for (const char* file : {"serial", "wwid"}) {
        std::string s = ReadTrimmed(dir / "device" / file);
        if (!s.empty()) return s;
    }
    std::error_code ec;
    fs::path up = fs::canonical(dir / "device", ec);
    if (ec) return {};
    for (int level = 0; level < 8 && up.has_relative_path(); ++level) {
        up = up.parent_path();
        if (up.filename() == "devices") break;  // the top of the device tree
        std::string s = ReadTrimmed(up / "serial");
        if (!s.empty()) return s;
    }
    return {};
}

}  // namespace

BlockDeviceIdentity IdentityOf(const SysfsBlockDevice& d) {
    BlockDeviceIdentity id;
    id.model = d.vendor.empty() ? d.model : d.model.empty() ? d.vendor : d.vendor + " " + d.model;
    id.serial = d.serial;
    id.sizeBytes = d.sizeBytes;
    id.devNumber = d.devNumber;
    return id;
}

bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
            nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::vector<SysfsBlockDevice> ReadSysfsBlockDevices(const std::string& sysfsRoot) {
    const fs::path classDir = fs::path(sysfsRoot) / "class" / "block";
    std::vector<SysfsBlockDevice> devices;
    std::error_code ec;
    fs::directory_iterator it(classDir, ec);
    if (ec) return devices;

    std::vector<std::string> names;
    for (const auto& e : it) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end(), NaturalLess);

    std::map<std::string, std::size_t> disks;  // name -> index, for partitions to find their disk
    for (const std::string& name : names) {
        const fs::path dir = classDir / name;
        SysfsBlockDevice d;
        d.name = name;
        d.devNumber = ReadTrimmed(dir / "dev");
        // sysfs counts size in 512-byte units whatever the logical block size.
        d.sizeBytes = ReadNumber(dir / "size", 0) * 512;
        d.hidden = ReadNumber(dir / "hidden", 0) != 0;
        if (fs::exists(dir / "partition", ec)) {
            d.parent = "?";  // resolved below
            d.partitionNumber = static_cast<int>(ReadNumber(dir / "partition", 0));
        } else {
            d.removable = ReadNumber(dir / "removable", 0) != 0;
            d.logicalBlockSize = static_cast<std::uint32_t>(ReadNumber(dir / "queue" / "logical_block_size", 512));
            d.vendor = ReadTrimmed(dir / "device" / "vendor");
            if (IsNumericId(d.vendor)) d.vendor.clear();
            d.model = ReadTrimmed(dir / "device" / "model");
            if (d.model.empty()) d.model = ReadTrimmed(dir / "device" / "name");  // MMC cards
            d.bus = BusOf(dir, name);
            if (d.bus == "mmc") d.mmcType = ReadTrimmed(dir / "device" / "type");
            d.serial = SerialOf(dir);
            disks[name] = devices.size();
        }
        devices.push_back(std::move(d));
    }

    // A partition's directory sits inside its disk's: <class>/<disk>/<partition>.
    for (auto& d : devices) {
        if (d.parent != "?") continue;
        d.parent.clear();
        for (const auto& [diskName, index] : disks) {
            if (fs::is_directory(classDir / diskName / d.name, ec)) {
                SysfsBlockDevice& disk = devices[index];
                d.parent = diskName;
                d.removable = disk.removable;
                d.logicalBlockSize = disk.logicalBlockSize;
                d.vendor = disk.vendor;
                d.model = disk.model;
                d.bus = disk.bus;
                d.mmcType = disk.mmcType;
                d.serial = disk.serial;
                disk.hasPartitions = true;
                break;
            }
        }
        // A partition whose disk cannot be found is treated as a disk of its own.
    }
    return devices;
}

}  // namespace quorvane
