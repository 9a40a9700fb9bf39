// Saving one file, or a directory's files with its subdirectories as subfolders, into a folder
// of the host.
#include "fat/fat_drive.h"
#include "fat/fat_objects.h"
#include "fat/fat_saved_names.h"
#include "disk/scan_services.h"
#include "platform/invoking_user.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <utility>

namespace quorvane {

namespace {

constexpr std::uint32_t MaxFolderNameTries = 1000;

std::string WithSlash(std::string Folder) {
    if (Folder.empty() || Folder.back() != '/') Folder += '/';
    return Folder;
}

// Makes the subfolder Name in Parent, or takes the folder of that name that is there already; a
// file or a link of that name is left alone and a numbered name is taken instead. Created tells
// whether the folder is new.
bool MakeSubfolder(const std::string& Parent, const std::string& Name, std::string& Path, bool& Created) {
    for (std::uint32_t n = 1; n <= MaxFolderNameTries; ++n) {
        const std::string path = Parent + (n == 1 ? Name : NumberedFileName(Name, n));
        Created = ::mkdir(path.c_str(), 0755) == 0;
        if (Created) HandToInvokingUser(path);
        struct stat st {};
        if (Created || (errno == EEXIST && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
            Path = path + "/";
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

struct TSaveRun {
    std::uint8_t FATNo;
    bool IncludeDeleted, OnlyDeleted, Recursive;
    std::set<std::pair<std::uint32_t, std::uint32_t>> Entered;  // directories saved already
    bool AllSaved = true;
    bool DiskFull = false;
    TScanServices* Scan = nullptr;  // the drive's scan driver, whose stop flag ends the save
};

bool SaveInto(TFATDirectory& Dir, const std::string& Folder, TSaveRun& Run, int Depth) {
    return Dir.ForEachChild(
        [&](TObject& Item, std::uint32_t) {
            if (auto* file = dynamic_cast<TFATFile*>(&Item)) {
                if (!file->SaveTo(Folder, Run.FATNo)) {
                    Run.AllSaved = false;
                    Run.DiskFull = file->LastSaveWasDiskFull();
                }
            } else if (auto* sub = dynamic_cast<TFATDirectory*>(&Item); sub && Run.Recursive) {
                // A loop in the tree, or a tree deeper than a real one, is not followed.
                const auto key = sub->FirstCluster != 0 ? std::pair{sub->FirstCluster, 0u} : std::pair{0u, sub->FirstSector};
                if (Depth < MaxDirectoryDepth && Run.Entered.insert(key).second) {
                    std::string path;
                    bool created = false;
                    if (!MakeSubfolder(Folder, SavedFileName(sub->Name), path, created)) {
                        Run.AllSaved = false;
                    } else {
                        SaveInto(*sub, path, Run, Depth + 1);
                        // Nothing chosen in it (no deleted file, say): no empty folder is left behind.
                        if (created) ::rmdir(path.c_str());
                    }
                }
            }
            return !Run.DiskFull && !Run.Scan->Stopped;
        },
        Run.IncludeDeleted, Run.OnlyDeleted, false, 0);
}

}  // namespace

bool TFATdrive::SaveFile(TFATFile& File, const std::string& Folder, std::uint8_t FATNo, bool& /*YesToAll*/) {
    return File.SaveTo(WithSlash(Folder), FATNo);
}

bool TFATdrive::SaveDirectory(TFATDirectory& Directory, const std::string& Folder, bool IncludeDeleted,
                              bool OnlyDeleted, bool Recursive, std::uint8_t FATNo, bool& /*YesToAll*/,
                              bool& /*ReplaceFiles*/) {
    std::error_code ec;
    std::filesystem::create_directories(Folder, ec);
    if (!std::filesystem::is_directory(Folder, ec)) return false;
    TSaveRun run{FATNo, IncludeDeleted, OnlyDeleted, Recursive, {}};
    run.Scan = &Services();
    run.Entered.insert(Directory.FirstCluster != 0 ? std::pair{Directory.FirstCluster, 0u}
                                                   : std::pair{0u, Directory.FirstSector});
    try {
        SaveInto(Directory, WithSlash(Folder), run, 0);
    } catch (...) {
        return false;
    }
    return run.AllSaved && !Services().Stopped;
}

}  // namespace quorvane
