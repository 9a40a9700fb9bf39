#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace quorvane::cli {

struct RecoverOptions {
    std::string drive;
    std::string dest;
    std::string method = "both";  // both, auto, folder or scan
    int deleted = -1;             // folder based method: recover deleted files; -1 = as proposed
    int lost = -1;                // folder based method: look for lost files; -1 = as proposed
    std::string prefix = "image";
    int sectorsAtOnce = 0;  // 0: the drive's default
    int retries = 0;        // 0: the window's default
    bool json = false;
    bool check = true;  // check each recovered file whole or damaged
    bool keepNames = false;  // save files that have a name under their folder path and name
};

struct UpdateOptions {
    bool checkOnly = false;      // --check: only say whether a newer version exists, and what is new
    bool acceptLicence = false;  // --accept-licence: the update's licence is accepted
};

// Without paths: every drive. With paths (images or disks): their drives, partitions included.
int ListDrives(const std::vector<std::string>& paths, bool json);
int ShowInfo(const std::string& drive, bool json);
int Recover(const RecoverOptions& options);
int Analyze(const std::string& drive, bool json);
int PrintVersion();
int Update(const UpdateOptions& options);

}  // namespace quorvane::cli
