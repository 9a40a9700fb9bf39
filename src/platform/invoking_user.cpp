#include "platform/invoking_user.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorvane {
namespace {

// A decimal id from the environment; none for anything but 1 to 10 digits.
std::optional<unsigned long> idFromEnvironment(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return std::nullopt;
    unsigned long value = 0;
    int digits = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || ++digits > 10) return std::nullopt;
        value = value * 10 + static_cast<unsigned long>(*p - '0');
    }
    return value;
}

// The ids named by sudo or pkexec, without the password database unless the group is missing.
// lookUpHome asks the database for the home folder too.
std::optional<InvokingUser> invokingUser(bool lookUpHome) {
    if (::geteuid() != 0) return std::nullopt;
    InvokingUser user;
    std::optional<unsigned long> uid = idFromEnvironment("SUDO_UID");
    std::optional<unsigned long> gid;
    if (uid) {
        gid = idFromEnvironment("SUDO_GID");
    } else {
        uid = idFromEnvironment("PKEXEC_UID");
    }
    if (!uid || *uid == 0) return std::nullopt;
    user.uid = static_cast<uid_t>(*uid);
    if (lookUpHome || !gid) {
        std::vector<char> buffer(16384);
        passwd entry{};
        passwd* found = nullptr;
        if (::getpwuid_r(user.uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
            user.home = found->pw_dir != nullptr ? found->pw_dir : "";
            if (!gid) gid = found->pw_gid;
        }
    }
    // Without a group of its own the files go to the user's id with the group they are made with.
    user.gid = gid ? static_cast<gid_t>(*gid) : static_cast<gid_t>(-1);
    return user;
}

}  // namespace

std::optional<InvokingUser> InvokingUserOfRootRun() { return invokingUser(true); }

int HandToInvokingUser(const std::string& path) {
    // Called for every saved file: only the environment is read when sudo names the group.
    const auto user = invokingUser(false);
    if (!user) return 0;
    return ::lchown(path.c_str(), user->uid, user->gid) == 0 ? 0 : errno;
}

std::string ForeignSymlinkOnTheWay(const std::string& path) {
    const auto user = InvokingUserOfRootRun();
    if (!user || path.empty()) return "";
    // Every prefix that ends a path component: "/home", "/home/me", "/home/me/Pictures".
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string prefix = path.substr(0, end);
        struct stat st {};
        if (!prefix.empty() && ::lstat(prefix.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && st.st_uid != user->uid &&
            st.st_uid != 0) {
            return prefix + " is a symbolic link that belongs to another user; it is not followed when running as "
                            "root. Choose the folder it points to, or another folder.";
        }
        if (end == std::string::npos) break;
    }
    return "";
}

}  // namespace quorvane
