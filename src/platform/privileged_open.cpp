#include "platform/privileged_open.h"

#include "platform/udisks2_client.h"

#include <cerrno>
#include <chrono>
#include <future>
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
std::function<void()> waitHook;

}  // namespace

void SetPrivilegedOpenWaitHook(std::function<void()> hook) { waitHook = std::move(hook); }

PrivilegedOpenResult AskPrivilegedOpener(const std::string& devicePath, bool forWrite) {
    PrivilegedDeviceOpener* opener = chosenOpener;
    if (opener == nullptr) return {};
    if (!waitHook) return opener->Open(devicePath, forWrite);
    // The hook may run timers that open a device again: one question to the user at a time, and
    // the later open goes on as if no service were there.
    thread_local bool asking = false;
    if (asking) return {};
    asking = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{asking};
    auto pending =
        std::async(std::launch::async, [opener, devicePath, forWrite] { return opener->Open(devicePath, forWrite); });
    while (pending.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) waitHook();
    return pending.get();
}

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
    PrivilegedOpenResult asked = AskPrivilegedOpener(path, forWrite);
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
