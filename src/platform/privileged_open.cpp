#include "platform/privileged_open.h"

#include "platform/udisks2_client.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <utility>

namespace quorvane {
namespace {

UDisks2Client& systemClient() {
    static UDisks2Client client;
    return client;
}

PrivilegedDeviceOpener* chosenOpener = &systemClient();

}  // namespace

PrivilegedDeviceOpener* CurrentPrivilegedOpener() { return chosenOpener; }

void SetPrivilegedOpener(PrivilegedDeviceOpener* opener) { chosenOpener = opener; }

FileDescriptor OpenDeviceOrAsk(const std::string& path, int flags, int& err) {
    FileDescriptor fd(::open(path.c_str(), flags | O_CLOEXEC));
    if (fd) {
        err = 0;
        return fd;
    }
    err = errno;
    if ((err != EACCES && err != EPERM) || chosenOpener == nullptr) return fd;
    // Image files are the user's own business; only devices go to the disk service.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return fd;
    const bool forWrite = (flags & O_ACCMODE) != O_RDONLY;
    PrivilegedOpenResult asked = chosenOpener->Open(path, forWrite);
    if (asked.outcome != PrivilegedOpenResult::Outcome::Opened) return fd;
    // The service opens without our flags; a CD drive must not wait for a disc.
    if ((flags & O_NONBLOCK) != 0) {
        const int current = ::fcntl(asked.fd.get(), F_GETFL);
        if (current >= 0) ::fcntl(asked.fd.get(), F_SETFL, current | O_NONBLOCK);
    }
    err = 0;
    return std::move(asked.fd);
}

}  // namespace quorvane
