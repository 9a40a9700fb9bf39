#include "platform/drive_table.h"

#include "platform/drive_naming.h"
#include "platform/mount_table.h"
#include "platform/posix_volume.h"
#include "platform/privileged_open.h"
#include "platform/sysfs_block_devices.h"
#include "platform/volume_probe.h"
#include "support/file_descriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace quorvane {
namespace {

namespace fs = std::filesystem;

constexpr std::uint8_t FIRST_FREE_NUMBER = 4;  // D:; A: and B: are the floppies', C: the system's

enum class Origin { BlockDevice, Path, Volume };

struct Item {
    DriveEntry entry;
    Origin origin = Origin::Volume;
};

// A device with no medium is listed only where a medium can come and go.
bool IsListed(const SysfsBlockDevice& d, std::uint32_t kind) {
    if (d.hidden) return false;
    // eMMC boot and replay-protected areas are not volumes.
    if (d.name.rfind("mmcblk", 0) == 0 &&
        (d.name.find("boot") != std::string::npos || d.name.find("rpmb") != std::string::npos)) {
        return false;
    }
    return d.sizeBytes > 0 || kind == DRIVE_REMOVABLE || kind == DRIVE_CDROM;
}

std::string RootDeviceNumber() {
    struct stat st {};
    if (::stat("/", &st) != 0) return {};
    return std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
}

// The device name ("sda2") that the mount table gives for "/"; the last mount of "/" wins.
std::string RootMountDeviceName(const std::string& mountsFile) {
    std::string source;
    for (const MountEntry& mount : ReadMountTable(mountsFile)) {
        if (mount.target == "/") source = mount.source;
    }
    if (source.rfind("/dev/", 0) != 0) return {};
    std::error_code ec;
    const fs::path real = fs::canonical(source, ec);
    return (ec ? fs::path(source) : real).filename().string();
}

std::string DevicePath(const std::string& devRoot, const std::string& sysfsName) {
    std::string name = sysfsName;
    std::replace(name.begin(), name.end(), '!', '/');
    return devRoot + "/" + name;
}

// File system and label of a whole device or a range of a file; empty when unreadable.
VolumeProbe ProbePath(const std::string& path, std::uint64_t offset, std::uint64_t size, std::uint32_t kind,
                      bool withPartitions) {
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | (kind == DRIVE_CDROM ? O_NONBLOCK : 0)));
    if (!fd) return {};
    return ProbeVolume(fd.get(), offset, size, withPartitions);
}

std::string CanonicalPath(const std::string& path) {
    std::error_code ec;
    const fs::path real = fs::canonical(path, ec);
    return ec ? fs::absolute(path, ec).lexically_normal().string() : real.string();
}

std::string OpenFailure(const std::string& path, int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            return path + ": no such file or device.";
        case EACCES:
        case EPERM:
            return "No permission to read " + path + ": run as root (sudo), or join the disk group (which can read and "
                   "write every disk of this computer, not just cards).";
        case ENOMEDIUM:
            return path + " holds no medium.";
        default:
            return "Cannot open " + path + ": " + std::strerror(err) + ".";
    }
}

}  // namespace

struct DriveTable::Impl {
    std::string sysfsRoot = "/sys";
    std::string devRoot = "/dev";
    std::string mountsFile = "/proc/self/mounts";
    bool loaded = false;
    // Shared so that a DriveEntry pointer handed out stays valid while the table grows.
    std::vector<std::shared_ptr<Item>> items;

    void ensureLoaded() {
        if (!loaded) enumerate();
    }

    bool used(unsigned number) const {
        return std::any_of(items.begin(), items.end(), [&](const auto& i) { return i->entry.number == number; });
    }

    // Added volumes go after every block device.
    std::optional<std::uint8_t> nextNumber() const {
        unsigned highest = FIRST_FREE_NUMBER - 1;
        for (const auto& i : items) highest = std::max<unsigned>(highest, i->entry.number);
        if (highest < LogicalDrive::Last) return static_cast<std::uint8_t>(highest + 1);
        for (unsigned n = FIRST_FREE_NUMBER; n <= LogicalDrive::Last; ++n) {
            if (!used(n)) return static_cast<std::uint8_t>(n);
        }
        return std::nullopt;
    }

    void sortItems() {
        std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a->entry.number < b->entry.number; });
    }

    Item* findItem(std::uint8_t number) const {
        for (const auto& i : items) {
            if (i->entry.number == number) return i.get();
        }
        return nullptr;
    }

    void enumerate();
    std::vector<std::uint8_t> addPath(const std::string& path, std::string& error);
    PartitionTable partitionTableOf(std::uint8_t disk);
    std::shared_ptr<Item> makePathItem(const std::string& path, std::uint64_t offset, std::uint64_t bytes,
                                       std::uint32_t kind, bool isImage, std::string name) const;
    std::shared_ptr<Item> makePartitionItem(const DriveEntry& disk, const ProbedPartition& p) const;
    const Item* partitionItem(const std::string& diskPath, int number) const;
    std::optional<std::uint8_t> insert(std::shared_ptr<Item> item);
};

std::shared_ptr<Item> DriveTable::Impl::makePathItem(const std::string& path, std::uint64_t offset,
                                                     std::uint64_t bytes, std::uint32_t kind, bool isImage,
                                                     std::string name) const {
    auto item = std::make_shared<Item>();
    item->origin = Origin::Path;
    DriveEntry& e = item->entry;
    e.path = path;
    e.displayName = std::move(name);
    e.kind = kind;
    e.iconName = IconNameFor(kind, false);
    e.offsetBytes = offset;
    e.sizeBytes = bytes;
    e.isImage = isImage;
    e.opener = std::make_shared<PosixVolumeOpener>(path, offset, offset == 0 ? 0 : bytes, kind);
    return item;
}

// A partition read as a range of its disk or image; nullptr when the table places it past the end.
std::shared_ptr<Item> DriveTable::Impl::makePartitionItem(const DriveEntry& disk, const ProbedPartition& p) const {
    if (p.startBytes >= disk.sizeBytes) return nullptr;
    const std::uint64_t bytes = std::min(p.sizeBytes, disk.sizeBytes - p.startBytes);
    const std::string fileName = fs::path(disk.path).filename().string();
    const std::string name = disk.isImage ? ImageDisplayName(fileName, p.number)
                                          : fileName + " partition " + std::to_string(p.number) + " (" +
                                                FormatSize(bytes) + ")";
    auto item = makePathItem(disk.path, p.startBytes, bytes, disk.kind, disk.isImage, name);
    item->entry.partitionNumber = p.number;
    item->entry.diskPath = disk.path;
    const VolumeProbe inner = ProbePath(disk.path, p.startBytes, bytes, disk.kind, false);
    item->entry.fileSystem = inner.fileSystem;
    item->entry.volumeLabel = inner.label;
    return item;
}

const Item* DriveTable::Impl::partitionItem(const std::string& diskPath, int number) const {
    for (const auto& i : items) {
        if (i->entry.partitionNumber == number && i->entry.diskPath == diskPath) return i.get();
    }
    return nullptr;
}

std::optional<std::uint8_t> DriveTable::Impl::insert(std::shared_ptr<Item> item) {
    const auto n = nextNumber();
    if (!n) return std::nullopt;
    item->entry.number = *n;
    items.push_back(std::move(item));
    sortItems();
    return n;
}

void DriveTable::Impl::enumerate() {
    loaded = true;
    std::vector<std::shared_ptr<Item>> kept;
    for (auto& i : items) {
        if (i->origin != Origin::BlockDevice) kept.push_back(i);
    }
    items.clear();

    struct Listed {
        SysfsBlockDevice device;
        std::uint32_t kind;
    };
    std::vector<Listed> listed;
    for (auto& d : ReadSysfsBlockDevices(sysfsRoot)) {
        const std::uint32_t kind = DriveKindOf(d);
        if (IsListed(d, kind)) listed.push_back({std::move(d), kind});
    }

    // Letters: the first two floppy drives take A: and B:, the volume holding "/" takes C:,
    // everything else follows from D: in name order.
    std::vector<unsigned> numbers(listed.size(), 0);
    unsigned floppies = 0;
    for (std::size_t i = 0; i < listed.size() && floppies < 2; ++i) {
        if (!listed[i].device.isPartition() && IsFloppyName(listed[i].device.name)) numbers[i] = ++floppies;
    }
    const std::string rootNumber = RootDeviceNumber();
    auto root = std::find_if(listed.begin(), listed.end(), [&](const Listed& l) {
        return !rootNumber.empty() && l.device.devNumber == rootNumber;
    });
    if (root == listed.end()) {
        const std::string rootName = RootMountDeviceName(mountsFile);
        root = std::find_if(listed.begin(), listed.end(),
                            [&](const Listed& l) { return !rootName.empty() && l.device.name == rootName; });
    }
    if (root != listed.end() && numbers[root - listed.begin()] == 0) numbers[root - listed.begin()] = 3;
    unsigned next = FIRST_FREE_NUMBER;
    for (unsigned& n : numbers) {
        if (n == 0) n = next++;
    }

    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (numbers[i] > LogicalDrive::Last) continue;
        const SysfsBlockDevice& d = listed[i].device;
        auto item = std::make_shared<Item>();
        item->origin = Origin::BlockDevice;
        DriveEntry& e = item->entry;
        e.number = static_cast<std::uint8_t>(numbers[i]);
        e.path = DevicePath(devRoot, d.name);
        e.kind = listed[i].kind;
        e.displayName = DisplayNameOf(d, e.kind);
        e.iconName = IconNameFor(e.kind, IsFloppyName(d.isPartition() ? d.parent : d.name));
        e.sizeBytes = d.sizeBytes;
        e.isPartitionTable = d.hasPartitions;
        if (d.isPartition()) {
            e.partitionNumber = d.partitionNumber;
            e.diskPath = DevicePath(devRoot, d.parent);
        }
        e.opener = std::make_shared<PosixVolumeOpener>(e.path, 0, 0, e.kind);
        e.sysfsName = d.name;
        e.identity = IdentityOf(d);
        if (d.sizeBytes > 0) {
            const VolumeProbe probe = ProbePath(e.path, 0, 0, e.kind, false);
            e.fileSystem = probe.fileSystem;
            e.volumeLabel = probe.label;
        }
        items.push_back(std::move(item));
    }

    // Images and added volumes keep their numbers unless a block device now holds it.
    for (auto& i : kept) {
        if (used(i->entry.number)) {
            if (auto n = nextNumber()) i->entry.number = *n;
            else continue;
        }
        items.push_back(i);
    }
    sortItems();
}

std::vector<std::uint8_t> DriveTable::Impl::addPath(const std::string& path, std::string& error) {
    ensureLoaded();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = OpenFailure(path, errno);
        return {};
    }
    const std::string canonical = CanonicalPath(path);
    std::vector<std::uint8_t> known;
    for (const auto& i : items) {
        if (i->entry.path == canonical && i->origin != Origin::Volume) known.push_back(i->entry.number);
    }
    if (!known.empty()) return known;

    const bool isBlock = S_ISBLK(st.st_mode);
    if (!isBlock && !S_ISREG(st.st_mode)) {
        error = path + " is neither an image file nor a block device.";
        return {};
    }
    int openError = 0;
    FileDescriptor fd = OpenDeviceOrAsk(canonical, O_RDONLY, openError);
    if (!fd) {
        error = OpenFailure(path, openError);
        return {};
    }
    std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    if (isBlock && ::ioctl(fd.get(), BLKGETSIZE64, &size) != 0) size = 0;
    if (size == 0) {
        error = isBlock ? path + " holds no medium." : path + " is empty.";
        return {};
    }
    const VolumeProbe probe = ProbeVolume(fd.get(), 0, 0, true);
    fd.reset();

    const std::string fileName = fs::path(canonical).filename().string();
    std::uint32_t kind = DRIVE_REMOVABLE;  // an image file stands for a card
    std::string displayName = ImageDisplayName(fileName);
    std::string sysfsName;
    BlockDeviceIdentity identity;
    if (isBlock) {
        kind = DRIVE_FIXED;
        displayName = fileName + " (" + FormatSize(size) + ")";
        std::string nodeName = canonical.substr(std::min(canonical.size(), std::string("/dev/").size()));
        std::replace(nodeName.begin(), nodeName.end(), '/', '!');
        for (const auto& d : ReadSysfsBlockDevices(sysfsRoot)) {
            if (d.name != nodeName) continue;
            kind = DriveKindOf(d);
            SysfsBlockDevice sized = d;
            sized.sizeBytes = size;
            displayName = DisplayNameOf(sized, kind);
            sysfsName = d.name;
            identity = IdentityOf(d);
            break;
        }
    }
    std::vector<std::shared_ptr<Item>> added;
    auto whole = makePathItem(canonical, 0, size, kind, !isBlock, displayName);
    whole->entry.fileSystem = probe.fileSystem;
    whole->entry.volumeLabel = probe.label;
    whole->entry.sysfsName = sysfsName;
    whole->entry.identity = identity;
    whole->entry.isPartitionTable = !probe.partitionTable.empty() && !probe.partitions.empty();
    added.push_back(whole);
    if (whole->entry.isPartitionTable) {
        for (const ProbedPartition& p : probe.partitions) {
            if (auto part = makePartitionItem(whole->entry, p)) added.push_back(std::move(part));
        }
    }

    std::vector<std::uint8_t> numbers;
    for (auto& item : added) {
        const auto n = insert(item);
        if (!n) {
            if (numbers.empty()) error = "No free drive number for " + path + ".";
            break;
        }
        numbers.push_back(*n);
    }
    return numbers;
}

PartitionTable DriveTable::Impl::partitionTableOf(std::uint8_t disk) {
    ensureLoaded();
    PartitionTable table;
    const Item* whole = findItem(disk);
    if (whole == nullptr || whole->entry.partitionNumber != 0 || whole->entry.offsetBytes != 0 ||
        whole->entry.path.empty() || whole->origin == Origin::Volume) {
        return table;
    }
    const DriveEntry wholeEntry = whole->entry;  // items may grow below
    const VolumeProbe probe = ProbePath(wholeEntry.path, 0, 0, wholeEntry.kind, true);
    if (probe.partitionTable.empty() || probe.partitions.empty()) return table;
    table.kind = PartitionTableKindName(probe.partitionTable);
    table.sectorSize = probe.sectorSize;
    for (const ProbedPartition& p : probe.partitions) {
        PartitionRow row;
        row.number = p.number;
        row.startBytes = p.startBytes;
        row.sizeBytes = p.sizeBytes;
        row.type = p.type;
        const Item* reader = partitionItem(wholeEntry.path, p.number);
        // A disk whose partitions the kernel has not listed (a loop device without partition
        // scanning) is read through ranges of its own device.
        if (reader == nullptr) {
            if (auto part = makePartitionItem(wholeEntry, p); part && insert(part)) reader = part.get();
        }
        if (reader != nullptr) {
            row.drive = reader->entry.number;
            row.fileSystem = reader->entry.fileSystem;
            row.label = reader->entry.volumeLabel;
        }
        table.partitions.push_back(row);
    }
    std::sort(table.partitions.begin(), table.partitions.end(),
              [](const PartitionRow& a, const PartitionRow& b) { return a.number < b.number; });
    return table;
}

DriveTable::DriveTable() : impl_(std::make_shared<Impl>()) {}

DriveTable& DriveTable::instance() {
    static DriveTable table;
    return table;
}

void DriveTable::setSysfsRoot(std::string root) {
    impl_->sysfsRoot = std::move(root);
    impl_->enumerate();
}

void DriveTable::setDevRoot(std::string root) {
    impl_->devRoot = std::move(root);
    if (impl_->loaded) impl_->enumerate();
}

void DriveTable::setMountsFile(std::string path) {
    impl_->mountsFile = std::move(path);
    if (impl_->loaded) impl_->enumerate();
}

void DriveTable::refresh() { impl_->enumerate(); }

const std::string& DriveTable::sysfsRoot() const { return impl_->sysfsRoot; }

std::optional<BlockDeviceIdentity> DriveTable::currentIdentity(const DriveEntry& drive) const {
    if (drive.sysfsName.empty()) return std::nullopt;
    for (const auto& d : ReadSysfsBlockDevices(impl_->sysfsRoot)) {
        if (d.name == drive.sysfsName) return IdentityOf(d);
    }
    return std::nullopt;
}

bool DriveTable::mediumPresent(std::uint8_t number) const {
    const DriveEntry* e = find(number);
    if (e == nullptr) return false;
    // Volumes served from memory or by tests have no medium to lose.
    if (dynamic_cast<const PosixVolumeOpener*>(e->opener.get()) == nullptr) return true;
    struct stat st {};
    if (e->isImage) return ::stat(e->path.c_str(), &st) == 0;
    const std::string devPrefix = impl_->devRoot + "/";
    if (e->path.rfind(devPrefix, 0) != 0) return true;  // a volume served otherwise
    std::string sysfsName = e->path.substr(devPrefix.size());
    std::replace(sysfsName.begin(), sysfsName.end(), '/', '!');
    std::ifstream size(impl_->sysfsRoot + "/class/block/" + sysfsName + "/size");
    std::uint64_t sectors = 0;
    return static_cast<bool>(size >> sectors) && sectors > 0;
}

bool DriveMediumPresent(std::uint8_t drive) { return DriveTable::instance().mediumPresent(drive); }

std::string DriveTable::blockDevicesFingerprint() const {
    std::string fingerprint;
    for (const SysfsBlockDevice& d : ReadSysfsBlockDevices(impl_->sysfsRoot))
        fingerprint += d.name + ':' + std::to_string(d.sizeBytes) + ';';
    return fingerprint;
}

PartitionTable DriveTable::partitionTableOf(std::uint8_t disk) { return impl_->partitionTableOf(disk); }

std::vector<std::uint8_t> DriveTable::addPath(const std::string& path, std::string& error) {
    error.clear();
    return impl_->addPath(path, error);
}

std::optional<std::uint8_t> DriveTable::addVolume(DriveEntry entry) {
    impl_->ensureLoaded();
    if (entry.number == 0) {
        const auto n = impl_->nextNumber();
        if (!n) return std::nullopt;
        entry.number = *n;
    } else if (impl_->used(entry.number)) {
        return std::nullopt;
    }
    auto item = std::make_shared<Item>();
    item->origin = Origin::Volume;
    item->entry = std::move(entry);
    const std::uint8_t number = item->entry.number;
    impl_->items.push_back(std::move(item));
    impl_->sortItems();
    return number;
}

const DriveEntry* DriveTable::find(std::uint8_t number) const {
    impl_->ensureLoaded();
    const Item* i = impl_->findItem(number);
    return i ? &i->entry : nullptr;
}

const DriveEntry* DriveTable::findByPath(const std::string& path) const {
    impl_->ensureLoaded();
    const std::string canonical = CanonicalPath(path);
    for (const auto& i : impl_->items) {
        if (i->entry.offsetBytes == 0 && (i->entry.path == path || i->entry.path == canonical)) return &i->entry;
    }
    return nullptr;
}

std::vector<DriveEntry> DriveTable::entries() const {
    impl_->ensureLoaded();
    std::vector<DriveEntry> out;
    for (const auto& i : impl_->items) out.push_back(i->entry);
    return out;
}

void DriveTable::clear() {
    impl_->items.clear();
    impl_->loaded = true;
}

DriveArgument SplitDriveArgument(const std::string& arg) {
    const auto at = arg.rfind('@');
    if (at == std::string::npos || at == 0) return {arg, std::nullopt};
    const std::string digits = arg.substr(at + 1);
    if (digits.empty() || digits.size() > 3 ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); })) {
        return {arg, std::nullopt};
    }
    std::error_code ec;
    if (fs::exists(arg, ec)) return {arg, std::nullopt};
    return {arg.substr(0, at), std::stoi(digits)};
}

namespace {

// A drive named without a partition: a letter or a path.
std::optional<std::uint8_t> ResolveWholeDrive(const std::string& arg, std::string& error) {
    DriveTable& table = DriveTable::instance();
    const bool letterForm = !arg.empty() && std::isalpha(static_cast<unsigned char>(arg[0])) &&
                            (arg.size() == 1 || arg.substr(1) == ":" || arg.substr(1) == ":\\" || arg.substr(1) == ":/");
    if (letterForm) {
        // A typed letter names one of A: to Z:, in either case.
        const auto typed = static_cast<char>(std::toupper(static_cast<unsigned char>(arg[0])));
        const LogicalDrive number = LogicalDrive::fromLetter(typed);
        if (table.find(number.value())) return number.value();
        std::error_code ec;
        if (!fs::exists(arg, ec)) {
            error = "There is no drive " + number.name() + ".";
            return std::nullopt;
        }
    }
    if (arg.empty()) {
        error = "No drive given.";
        return std::nullopt;
    }
    const auto numbers = table.addPath(arg, error);
    if (numbers.empty()) return std::nullopt;
    // The drive of the path itself, not one of the partitions added with it.
    if (const DriveEntry* e = table.findByPath(arg)) return e->number;
    return numbers.front();
}

}  // namespace

std::optional<std::uint8_t> ResolveDrive(const std::string& arg, std::string& error) {
    error.clear();
    const DriveArgument named = SplitDriveArgument(arg);
    const auto disk = ResolveWholeDrive(named.drive, error);
    if (!disk || !named.partition || *named.partition == 0) return disk;

    DriveTable& table = DriveTable::instance();
    const std::string number = std::to_string(*named.partition);
    if (table.find(*disk)->partitionNumber != 0) {
        error = named.drive + " is a partition; name the disk or image it lies on with @" + number + ".";
        return std::nullopt;
    }
    const PartitionTable parts = table.partitionTableOf(*disk);
    if (parts.partitions.empty()) {
        error = named.drive + " starts with no partition table; name it without @" + number + ".";
        return std::nullopt;
    }
    for (const PartitionRow& p : parts.partitions) {
        if (p.number != *named.partition) continue;
        if (p.drive != 0) return p.drive;
        error = "Partition " + number + " of " + named.drive + " lies beyond its end.";
        return std::nullopt;
    }
    error = named.drive + " has no partition " + number + "; its partitions are " + PartitionSummary(parts) + ".";
    return std::nullopt;
}

std::uint32_t GetDriveTypeA(const std::string& root) {
    // Roots are made from drive numbers ("a:\" is drive 33), so no case folding.
    const LogicalDrive number = LogicalDrive::fromRoot(root);
    if (!number.isValid()) return DRIVE_NO_ROOT_DIR;
    const DriveEntry* e = DriveTable::instance().find(number.value());
    return e ? e->kind : DRIVE_NO_ROOT_DIR;
}

int ProbeReadAccess(std::uint8_t drive) {
    const DriveEntry* e = DriveTable::instance().find(drive);
    if (e == nullptr || !e->opener) return ENOENT;
    int err = 0;
    auto file = e->opener->open(false, err);
    return file ? 0 : (err != 0 ? err : EIO);
}

bool GetVolumeFileSystemName(std::uint8_t drive, std::string& fsName, std::string& label) {
    const DriveEntry* e = DriveTable::instance().find(drive);
    if (e == nullptr || !e->opener) return false;
    VolumeProbe probe;
    if (auto* posix = dynamic_cast<PosixVolumeOpener*>(e->opener.get())) {
        probe = ProbePath(posix->path(), posix->offsetBytes(), posix->sizeBytes(), posix->kind(), false);
    } else {
        probe = ProbeVolumeThroughOpener(*e->opener);
    }
    if (probe.type.empty()) return false;
    fsName = probe.fileSystem;
    label = probe.label;
    return true;
}

}  // namespace quorvane
