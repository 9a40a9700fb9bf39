#include "app/destination_check.h"

#include "app/format_wipe.h"
#include "platform/drive_table.h"
#include "platform/invoking_user.h"
#include "support/file_descriptor.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorvane {
namespace {

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string parentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return withoutTrailingSlashes(path.substr(0, slash));
}

// The folder as far as it exists: itself, or the nearest parent it would be made in.
struct ExistingPart {
    std::string path;
    struct stat st {};
    bool itself = true;
    int error = 0;  // why the path cannot be looked at, other than a missing name
};

ExistingPart nearestExisting(const std::string& folder) {
    ExistingPart part;
    std::string path = withoutTrailingSlashes(folder);
    // Each step drops one name, so the walk ends at "/" or "." at the latest.
    for (;;) {
        part.path = path;
        if (::stat(path.c_str(), &part.st) == 0) return part;
        const int err = errno;
        const std::string parent = parentOf(path);
        if ((err != ENOENT && err != ENOTDIR) || parent == path) {
            part.error = err;
            return part;
        }
        path = parent;
        part.itself = false;
    }
}

// Why this user cannot make files in folder; "" when a probe file could be made and removed.
std::string writeProblem(const std::string& folder) {
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
    std::string pattern = withoutTrailingSlashes(folder) + (folder == "/" ? "" : "/") + ".quorvane-probe-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FileDescriptor probe(::mkstemp(name.data()));
    if (!probe) return std::strerror(errno);
    probe.reset();
    ::unlink(name.data());
    return "";
}

}  // namespace

std::string DestinationRefusal(const std::string& folder) {
    if (folder.empty()) return "No folder to save the recovered files to was given.";
    if (std::string link = ForeignSymlinkOnTheWay(withoutTrailingSlashes(folder)); !link.empty()) return link;
    const ExistingPart part = nearestExisting(folder);
    if (part.error != 0) {
        return folder + " cannot be used as the destination folder: " + std::strerror(part.error) + ".";
    }
    if (!S_ISDIR(part.st.st_mode)) {
        if (part.itself) return folder + " is a file, not a folder: the recovered files are saved into a folder.";
        return folder + " cannot be made: " + part.path + " is a file, not a folder.";
    }
    const std::string problem = writeProblem(part.path);
    if (problem.empty()) return "";
    if (part.itself) return folder + " cannot be written to: " + problem + ".";
    return folder + " cannot be made in " + part.path + ": " + problem + ".";
}

std::string DestinationOnDriveWarning(const std::string& folder, std::uint8_t drive, const std::string& driveName,
                                      const std::string& mountsFile, const std::string& sysBlock) {
    const DriveEntry* entry = DriveTable::instance().find(drive);
    if (entry == nullptr || folder.empty()) return "";
    const ExistingPart part = nearestExisting(folder);
    if (part.error != 0) return "";
    // The file system that holds the folder is the one mounted on one of the drive's mount
    // points when both have the same device number (which also holds for file systems whose
    // number is not the block device's, such as btrfs).
    for (const std::string& target : MountPointsOf(*entry, mountsFile, sysBlock)) {
        struct stat mounted {};
        if (::stat(target.c_str(), &mounted) != 0 || mounted.st_dev != part.st.st_dev) continue;
        return folder + " is on " + driveName + ", the drive being recovered (mounted on " + target +
               "). Saving the recovered files there writes over the deleted files that are still to be found: "
               "choose a folder on another drive.";
    }
    return "";
}

TDestinationCheck CheckDestination(const std::string& folder, std::uint8_t drive, const std::string& driveName,
                                   const std::string& mountsFile, const std::string& sysBlock) {
    TDestinationCheck check;
    check.Message = DestinationRefusal(folder);
    if (!check.Message.empty()) {
        check.Verdict = TDestinationVerdict::Refused;
        return check;
    }
    check.Message = DestinationOnDriveWarning(folder, drive, driveName, mountsFile, sysBlock);
    if (!check.Message.empty()) {
        check.Verdict = TDestinationVerdict::OnRecoveredDrive;
        return check;
    }
    check.StagingParent = folder;
    return check;
}

std::string DestinationOnDriveQuestion(const std::string& warning) {
    return warning + "\n\nSave the recovered files there anyway?";
}

}  // namespace quorvane
