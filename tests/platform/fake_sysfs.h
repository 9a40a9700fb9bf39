#pragma once
// A fake sysfs tree laid out like the kernel's: disks under devices/<bus path>/block/<name>
// with a device link to their parent device, partitions inside their disk's folder, and
// class/block links to both.
#include <filesystem>
#include <fstream>
#include <string>

namespace quorvane::testing {

struct FakeDisk {
    FakeDisk(std::string diskName, std::uint64_t sectors) : name(std::move(diskName)), sizeSectors(sectors) {}
    FakeDisk& isRemovable() { removable = true; return *this; }
    FakeDisk& vendorModel(std::string v, std::string m) { vendor = std::move(v); model = std::move(m); return *this; }
    FakeDisk& onBus(std::string path) { busPath = std::move(path); return *this; }
    FakeDisk& devNumber(std::string number) { dev = std::move(number); return *this; }
    FakeDisk& isHidden() { hidden = true; return *this; }
    FakeDisk& mmcCard(std::string cardName, std::string type = "SD") {
        mmcName = std::move(cardName);
        mmcType = std::move(type);
        return *this;
    }
    FakeDisk& serialNumber(std::string s) { serial = std::move(s); return *this; }

    std::string name;
    std::uint64_t sizeSectors = 0;
    bool removable = false;
    std::string vendor;
    std::string model;
    std::string busPath = "platform/host0";  // under devices/; "…/usb1/…" puts it on USB
    std::string dev;                          // "8:16"; empty: none
    bool hidden = false;
    std::string mmcName;                      // device/name of an MMC card
    std::string mmcType;                      // its device/type: "SD" for a card, "MMC" for eMMC
    std::string serial;                       // device/serial; empty: none
};

class FakeSysfs {
public:
    explicit FakeSysfs(std::filesystem::path root) : root_(std::move(root)) {
        std::filesystem::create_directories(root_ / "class" / "block");
    }

    const std::filesystem::path& root() const { return root_; }

    void addDisk(const FakeDisk& d) {
        const auto deviceDir = root_ / "devices" / d.busPath;
        const auto dir = deviceDir / "block" / d.name;
        std::filesystem::create_directories(dir / "queue");
        write(dir / "size", std::to_string(d.sizeSectors));
        write(dir / "removable", d.removable ? "1" : "0");
        write(dir / "hidden", d.hidden ? "1" : "0");
        write(dir / "queue" / "logical_block_size", "512");
        if (!d.dev.empty()) write(dir / "dev", d.dev);
        if (!d.vendor.empty()) write(deviceDir / "vendor", d.vendor + "  ");  // the kernel pads these
        if (!d.model.empty()) write(deviceDir / "model", d.model + "   ");
        if (!d.mmcName.empty()) write(deviceDir / "name", d.mmcName);
        if (!d.mmcType.empty()) write(deviceDir / "type", d.mmcType);
        if (!d.serial.empty()) write(deviceDir / "serial", d.serial);
        std::filesystem::create_directory_symlink(deviceDir, dir / "device");
        std::filesystem::create_directory_symlink(dir, root_ / "class" / "block" / d.name);
    }

    void addPartition(const std::string& disk, const std::string& name, std::uint64_t sizeSectors,
                      const std::string& dev = "", int number = 1) {
        const auto diskDir = std::filesystem::canonical(root_ / "class" / "block" / disk);
        const auto dir = diskDir / name;
        std::filesystem::create_directories(dir);
        write(dir / "size", std::to_string(sizeSectors));
        write(dir / "partition", std::to_string(number));
        if (!dev.empty()) write(dir / "dev", dev);
        std::filesystem::create_directory_symlink(dir, root_ / "class" / "block" / name);
    }

    // Another block device stacked on this one (dm-crypt, LVM, md): a link in its holders folder.
    void addHolder(const std::string& name, const std::string& holder) {
        const auto dir = std::filesystem::canonical(root_ / "class" / "block" / name) / "holders";
        std::filesystem::create_directories(dir);
        std::filesystem::create_directory_symlink(root_ / "devices" / "virtual" / "block" / holder, dir / holder);
    }

    // Changes a file of a disk's device folder ("serial", "model") or of its own folder ("size").
    void rewrite(const std::string& name, const std::string& relative, const std::string& text) {
        write(std::filesystem::canonical(root_ / "class" / "block" / name) / relative, text);
    }

private:
    static void write(const std::filesystem::path& file, const std::string& text) {
        std::ofstream(file) << text << "\n";
    }

    std::filesystem::path root_;
};

}  // namespace quorvane::testing
