#pragma once
// The user behind a root run: reading a card needs root, so people start the program with sudo
// or pkexec, and what it saves belongs to them, not to root.
#include <optional>
#include <string>
#include <sys/types.h>

namespace quorvane {

struct InvokingUser {
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;  // from the password database; "" when the user has no entry there
};

// When the program runs as root for another user: SUDO_UID (with SUDO_GID), else PKEXEC_UID (with
// the user's group from the password database). None when not root, or when no such user is named
// (root itself, or a value that is not a plain number).
std::optional<InvokingUser> InvokingUserOfRootRun();

// Hands a file or folder the program made to the invoking user of a root run (lchown, so a link
// is never followed); nothing otherwise. 0, or an errno value.
int HandToInvokingUser(const std::string& path);

// Why path may not be written through in a root run: a symbolic link on the way (the path itself
// or a folder above it) that neither the invoking user nor root owns, which would let another
// user send root's writes anywhere. "" when it may, and always outside a root run.
std::string ForeignSymlinkOnTheWay(const std::string& path);

}  // namespace quorvane
