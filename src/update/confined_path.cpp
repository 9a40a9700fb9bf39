#include "update/confined_path.h"

#include "support/file_descriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorvane {
namespace {

// The parts of a path: empty and "." parts dropped; nullopt when a ".." part is present.
std::optional<std::vector<std::string>> partsOf(std::string_view path) {
    std::vector<std::string> parts;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view{} : path.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") return std::nullopt;
        parts.emplace_back(part);
    }
    return parts;
}

// The folder of the next part, opened below dir without following a link; invalid when the part
// is a link, not a folder, or missing.
FileDescriptor openFolderBelow(int dir, const std::string& part) {
    return FileDescriptor(::openat(dir, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

}  // namespace

std::optional<std::string> PathBelow(std::string_view path, std::string_view programFolder) {
    if (path.empty() || path.front() != '/' || programFolder.empty() || programFolder.front() != '/') return std::nullopt;
    const auto parts = partsOf(path);
    const auto base = partsOf(programFolder);
    if (!parts || !base || parts->size() < base->size()) return std::nullopt;
    std::string below;
    for (std::size_t i = 0; i < parts->size(); ++i) {
        if (i < base->size()) {
            if ((*parts)[i] != (*base)[i]) return std::nullopt;
            continue;
        }
        if (!below.empty()) below += '/';
        below += (*parts)[i];
    }
    return below;
}

bool MakeFoldersBelow(const std::string& base, std::string_view relative) {
    const auto parts = partsOf(relative);
    if (!parts) return false;
    FileDescriptor dir(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return false;
    for (const std::string& part : *parts) {
        if (::mkdirat(dir.get(), part.c_str(), 0777) != 0 && errno != EEXIST) return false;
        FileDescriptor next = openFolderBelow(dir.get(), part);
        if (!next) return false;
        dir = std::move(next);
    }
    return true;
}

bool IsFileBelow(const std::string& path, const std::string& programFolder) {
    const auto below = PathBelow(path, programFolder);
    if (!below || below->empty()) return false;
    const auto parts = partsOf(*below);
    FileDescriptor dir(::open(programFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return false;
    for (std::size_t i = 0; i + 1 < parts->size(); ++i) {
        FileDescriptor next = openFolderBelow(dir.get(), (*parts)[i]);
        if (!next) return false;
        dir = std::move(next);
    }
    struct stat st{};
    return ::fstatat(dir.get(), parts->back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

}  // namespace quorvane
