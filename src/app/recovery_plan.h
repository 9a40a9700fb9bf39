#pragma once
// What one recovery run is asked to do, whichever front end asks.
#include <cstdint>
#include <string>

namespace quorvane {

enum class TRecoveryMethod {
    Folder,  // the deleted (and lost) media files of the FAT file system, by their own names
    Scan,    // every sector read in turn, files carved from known starts
    Both,    // the folder based method, then the scan of every sector its files do not hold
};

struct TRecoveryPlan {
    std::uint8_t Drive = 0;  // 1 = A:
    // How messages name the drive: what the user picked or typed.
    std::string DriveName;
    TRecoveryMethod Method = TRecoveryMethod::Folder;
    // Folder method: the media files among the deleted entries, and those of lost folders.
    bool RecoverDeleted = true;
    bool LookForLost = false;
    // The name prefix as typed; the run makes it safe for a path.
    std::string Prefix = "image";
    // Scan method: sectors per read and read attempts per block; 0 takes the default.
    int SectorsAtOnce = 0;
    int RetryCount = 0;
    // Each staged file is checked whole or damaged (on worker threads, beside the run).
    bool CheckContent = true;
    // The folder the run's private working folder is made in (made itself when missing): the
    // destination, so that saving is a link on one file system. Empty, or when no folder can be
    // made there: the temporary folder.
    std::string StagingParent;
};

// What the progress position and the current number count.
enum class TProgressUnit { Sector, Cluster };

}  // namespace quorvane
