#include "cli/drive_arg.h"

#include "cli/exit_codes.h"
#include "platform/drive_naming.h"
#include "platform/drive_table.h"
#include "support/terminal_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quorvane::cli {
namespace {

// A whole disk or image that starts with a partition table holds no file system of its own: when
// no partition is named, the one that most likely holds the pictures is read instead.
std::uint8_t PickPartition(const std::string& arg, std::uint8_t number) {
    const DriveEntry* entry = DriveTable::instance().find(number);
    if (entry == nullptr || entry->partitionNumber != 0 || SplitDriveArgument(arg).partition) return number;
    const PartitionTable table = DriveTable::instance().partitionTableOf(number);
    if (table.partitions.empty()) return number;
    const std::size_t count = table.partitions.size();
    const PartitionRow* pick = PreferredPartition(table);
    if (pick == nullptr) {
        std::fprintf(stderr, "%s: no partition of %zu holds a file system; using the whole %s\n", arg.c_str(), count,
                     entry->isImage ? "image" : "disk");
        return number;
    }
    std::fprintf(stderr, "%s: %susing partition %d (%s, %s) of %zu\n", arg.c_str(),
                 IsFolderMethodFileSystemName(pick->fileSystem) ? "" : "no partition holds a FAT or exFAT file system; ",
                 pick->number, pick->fileSystem.c_str(), FormatSize(pick->sizeBytes).c_str(), count);
    return pick->drive;
}

}  // namespace

DriveChoice ChooseDrive(const std::string& arg) {
    std::string error;
    const auto named = ResolveDrive(arg, error);
    if (!named) {
        const std::string why = error.empty() ? "no drive " + arg : error;
        std::fprintf(stderr, "error: %s\n", EscapeForTerminal(why, true).c_str());
        return {0, errno == EACCES || error.find("ermission") != std::string::npos ? ExitNoPermission : ExitDriveUnavailable};
    }
    const std::uint8_t number = PickPartition(arg, *named);
    const int err = ProbeReadAccess(number);
    if (err == 0) return {number, ExitOk};
    const auto* entry = DriveTable::instance().find(number);
    const std::string path = entry != nullptr ? entry->path : arg;
    if (err == EACCES || err == EPERM) {
        std::fprintf(stderr,
                     "error: no permission to read %s.\n"
                     "Run as root (sudo), or join the disk group: sudo usermod -aG disk $USER (then log in again).\n"
                     "Warning: the disk group can read and write every disk of this computer, the system disk\n"
                     "included, not just cards.\n",
                     path.c_str());
        return {0, ExitNoPermission};
    }
    std::fprintf(stderr, "error: cannot read %s: %s\n", path.c_str(), std::strerror(err));
    return {0, ExitDriveUnavailable};
}

}  // namespace quorvane::cli
