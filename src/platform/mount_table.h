#pragma once
// The mount table as the kernel lists it in /proc/self/mounts: one mount a line, blank-separated
// fields "source target type options 0 0".
#include <string>
#include <vector>

namespace quorvane {

struct MountEntry {
    std::string source;   // "/dev/sdb1", "proc", "tmpfs"
    std::string target;   // the mount point
    std::string type;     // "vfat", "ext4"; empty when the line stops early
    std::string options;  // "rw,nosuid"; empty when the line stops early
};

// The table's entries in file order (a later mount of the same target hides an earlier one).
// Lines with fewer than a source and a target are skipped; a missing file gives no entries.
std::vector<MountEntry> ReadMountTable(const std::string& path);

// The kernel writes blanks, tabs, newlines and backslashes in names as octal escapes ("\040");
// gives the name they stand for. Anything else after a backslash is kept as it is.
std::string UnescapeMountField(const std::string& field);

}  // namespace quorvane
