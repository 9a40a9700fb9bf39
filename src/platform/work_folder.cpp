#include "platform/work_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorvane {

std::string GetTempPath() {
    const char* env = std::getenv("TMPDIR");
    std::string path = (env != nullptr && *env != '\0') ? env : "/tmp";
    if (path.back() != '/') path += '/';
    return path;
}

namespace {

// mkdtemp makes the folder with mode 0700.
std::string makeUniqueFolder(const std::string& parent, const char* name, std::string& error) {
    std::string pattern = parent + name;
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        error = "Cannot create a working folder in " + parent + ": " + std::strerror(errno);
        return {};
    }
    return std::string(buffer.data()) + "/";
}

}  // namespace

std::string MakePrivateRunFolder(std::string& error) {
    return makeUniqueFolder(GetTempPath(), "quorvane-run-XXXXXX", error);
}

std::string MakePrivateRunFolderIn(const std::string& parent, std::string& error) {
    if (parent.empty()) {
        error = "Cannot create a working folder: no folder was given";
        return {};
    }
    return makeUniqueFolder(parent.back() == '/' ? parent : parent + "/", ".quorvane-run-XXXXXX", error);
}

void RemoveFolderIfEmpty(const std::string& folder) {
    if (!folder.empty()) ::rmdir(folder.c_str());
}

bool FileExists(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace quorvane
