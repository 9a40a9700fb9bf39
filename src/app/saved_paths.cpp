#include "app/saved_paths.h"

#include "platform/file_copy.h"
#include "platform/invoking_user.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace quorvane {

namespace {

constexpr int MaxSameNames = 10'000;
constexpr int MaxPathParts = 64;

std::vector<std::string> PathParts(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '/' || c == '\\') {
            if (!part.empty()) parts.push_back(SafePathPart(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(SafePathPart(part));
    return parts;
}

// name with " (n)" before its extension.
std::string Numbered(const std::string& name, int n) {
    const auto dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
    return stem + " (" + std::to_string(n) + ")" + ext;
}

}  // namespace

std::string SafePathPart(std::string part) {
    for (char& c : part) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '/' || c == '\\') c = '_';
    }
    if (part.size() > 255) part.resize(255);
    if (part.empty() || part == "." || part == "..") part = "_";
    return part;
}

bool SaveUnderOriginalPath(TStagedFile& file, const std::string& folder, std::string& error) {
    std::vector<std::string> parts = PathParts(file.Origin.OriginalPath);
    if (parts.empty() || parts.size() > MaxPathParts) {
        error = "no usable name in " + file.Origin.OriginalPath;
        return false;
    }
    const std::string name = parts.back();
    parts.pop_back();
    // The folders on the way are made one by one and never followed through a link, so nothing
    // lands outside the destination.
    std::string dir = folder;
    for (const std::string& part : parts) {
        dir += part;
        if (::mkdir(dir.c_str(), 0755) == 0) {
            HandToInvokingUser(dir);
        } else if (errno != EEXIST) {
            error = "Cannot make " + dir + ": " + std::strerror(errno);
            return false;
        }
        struct stat st{};
        if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            error = dir + " is not a folder";
            return false;
        }
        dir += '/';
    }
    for (int n = 1; n <= MaxSameNames; ++n) {
        const std::string target = dir + (n == 1 ? name : Numbered(name, n));
        const CopyResult r = CopyToNewFile(file.Path, target);
        if (r.status == CopyStatus::Done) {
            file.SavedAs = target;
            SetModifiedTime(target, file.Origin.ModifiedTime);
            return true;
        }
        if (r.status != CopyStatus::TargetExists) {
            error = r.error;
            return false;
        }
    }
    error = "no free name left for " + dir + name;
    return false;
}

void SetModifiedTime(const std::string& path, std::int64_t seconds) {
    if (seconds == 0) return;
    const timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

}  // namespace quorvane
