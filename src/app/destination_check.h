#pragma once
// The check of a destination folder before a run, the same for the window and the command line:
// a folder that cannot take the recovered files is refused before anything is read, and one on
// the drive being recovered is warned about, because saving there writes over the very sectors
// the deleted files still lie in.
#include <cstdint>
#include <string>

namespace quorvane {

enum class TDestinationVerdict {
    Usable,
    Refused,           // nothing can be saved there: a file, a folder that cannot be made or written
    OnRecoveredDrive,  // usable, but on a mounted volume of the drive being recovered
};

struct TDestinationCheck {
    TDestinationVerdict Verdict = TDestinationVerdict::Usable;
    std::string Message;  // the refusal or the warning; "" when usable
    // Where the run's private working folder goes: the destination itself when it is usable, so
    // that saving a file is a link on one file system and a small /tmp does not stop a run;
    // "" (the temporary folder) otherwise. Files found on the drive being recovered are never
    // staged on it while it is read.
    std::string StagingParent;
};

// Why recovered files cannot be saved into folder (as typed; a folder that does not exist yet
// is fine when it can be made); "" when they can. Writes and removes a probe file in the folder,
// or in its nearest existing parent, because modes alone do not tell (root ignores them, a
// read-only mount does not show in them). In a root run, a symbolic link on the way that belongs
// to another user than the invoking one (or root) is refused, not followed.
std::string DestinationRefusal(const std::string& folder);

// The warning when folder (or the parent it will be made in) lies on a mounted volume of drive
// (a block device and its partitions, or an image through the loop devices that serve it);
// "" when it does not. driveName is how messages name the drive. Writing beside an image file
// is fine: only the image's mounted content is the drive.
std::string DestinationOnDriveWarning(const std::string& folder, std::uint8_t drive, const std::string& driveName,
                                      const std::string& mountsFile = "/proc/self/mounts",
                                      const std::string& sysBlock = "/sys/block");

// Both checks: the refusal first; the warning only for a usable folder.
TDestinationCheck CheckDestination(const std::string& folder, std::uint8_t drive, const std::string& driveName,
                                   const std::string& mountsFile = "/proc/self/mounts",
                                   const std::string& sysBlock = "/sys/block");

// The window's question after the warning.
std::string DestinationOnDriveQuestion(const std::string& warning);

}  // namespace quorvane
