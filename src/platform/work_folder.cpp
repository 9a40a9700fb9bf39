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

std::string MakePrivateRunFolder(std::string& error) {
    std::string pattern = GetTempPath() + "quorvane-run-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        error = "Cannot create a working folder in " + GetTempPath() + ": " + std::strerror(errno);
        return {};
    }
    return std::string(buffer.data()) + "/";
}

void RemoveFolderIfEmpty(const std::string& folder) {
    if (!folder.empty()) ::rmdir(folder.c_str());
}

bool FileExists(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace quorvane
