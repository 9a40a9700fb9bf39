#include "update/download_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quorvane {
namespace {

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace

std::optional<TTempFile> CreateTempFileIn(const std::string& folder) {
    std::string pattern = folder;
    if (!pattern.empty() && pattern.back() != '/') pattern += '/';
    pattern += "WUPDXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FileDescriptor fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd) return std::nullopt;
    return TTempFile{name.data(), std::move(fd)};
}

bool CommitFile(const std::string& tempPath, const std::string& target) {
    struct stat old{};
    mode_t mode = 0;
    if (::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        mode = old.st_mode & 0777;  // no set-user-id or set-group-id bit survives a replacement
    } else {
        mode = 0666 & ~currentUmask();
    }
    ::chmod(tempPath.c_str(), mode);
    return ::rename(tempPath.c_str(), target.c_str()) == 0;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

bool ForceDirectories(const std::string& folder) {
    if (folder.empty()) return false;
    std::string path;
    std::size_t at = 0;
    while (at <= folder.size()) {
        const std::size_t slash = folder.find('/', at);
        const std::size_t end = slash == std::string::npos ? folder.size() : slash;
        path = folder.substr(0, end);
        if (!path.empty() && ::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
        at = slash + 1;
    }
    struct stat st{};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace quorvane
