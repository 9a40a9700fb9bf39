#include "app/program_folder.h"

#include "platform/invoking_user.h"
#include "support/zarq_versioninfo.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {
namespace {

std::string programFolderOverride;

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The home of the user the program works for: in a root run through sudo or pkexec, the invoking
// user's (HOME may still name root's), else HOME.
std::string homeFolder() {
    if (const auto user = InvokingUserOfRootRun(); user && !user->home.empty()) return user->home;
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? home : "/";
}

// Creates path and any missing parents. True when it is a folder afterwards.
bool makeFolders(const std::string& path) {
    if (IsFolder(path)) return true;
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash))) return false;
    if (::mkdir(path.c_str(), 0755) == 0) {
        HandToInvokingUser(path);
        return true;
    }
    return errno == EEXIST && IsFolder(path);
}

}  // namespace

std::string ProgramFolder() {
    if (!programFolderOverride.empty()) return programFolderOverride;
    const std::string exe = OwnExecutablePath();
    const auto slash = exe.find_last_of('/');
    if (slash == std::string::npos) return "./";
    return exe.substr(0, slash + 1);
}

void SetProgramFolder(const std::string& folder) {
    programFolderOverride = folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

std::string HelpFolder() {
    const std::string beside = ProgramFolder() + "help/";
#ifdef QUORVANE_DATA_DIR
    if (!IsFolder(beside) && IsFolder(QUORVANE_DATA_DIR "/help")) return QUORVANE_DATA_DIR "/help/";
#endif
    return beside;
}

bool IsFolder(const std::string& path) {
    struct stat st{};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDestinationFolder(const std::string& folder, std::string& error) {
    if (folder.empty()) {
        error = "no folder to save to was given";
        return false;
    }
    if (!makeFolders(withoutTrailingSlash(folder))) {
        error = std::string("cannot use it as a folder: ") + std::strerror(errno);
        return false;
    }
    return true;
}

std::string UserPicturesFolder() {
    // A root run reads the invoking user's settings, never root's environment.
    const char* configHome = InvokingUserOfRootRun() ? nullptr : std::getenv("XDG_CONFIG_HOME");
    const std::string config = configHome != nullptr && *configHome == '/' ? configHome : homeFolder() + "/.config";
    std::ifstream dirs(config + "/user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_PICTURES_DIR=";
    while (std::getline(dirs, line)) {
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) value = homeFolder() + value.substr(5);
        // A pictures folder set to the home folder itself means "not configured".
        if (value.empty() || value[0] != '/' || withoutTrailingSlash(value) == withoutTrailingSlash(homeFolder())) break;
        return withoutTrailingSlash(value);
    }
    return withoutTrailingSlash(homeFolder()) + "/Pictures";
}

std::string DefaultDestinationFolder() {
    const std::string program = ProgramFolder();
    // An installed program's folder (/usr/bin) is not the place for the user's pictures, nor is
    // any folder root may write to in a root run: the pictures would be root's, readable by all.
    const bool besideProgram = ::access(program.c_str(), W_OK) == 0 && !InvokingUserOfRootRun();
    const std::string base = besideProgram ? program : UserPicturesFolder() + "/";
    const std::string recovered = base + "Recovered";
    if (makeFolders(recovered)) return recovered;
    return withoutTrailingSlash(program);
}

}  // namespace quorvane
