#pragma once
// Opening a block device that the user may not open directly. Desktop users are not in the disk
// group; the desktop's disk service (udisks2) opens the device for them after polkit has asked for
// their password, and hands back the open descriptor. Both front ends go through this one seam.
#include "support/file_descriptor.h"

#include <functional>
#include <string>

namespace quorvane {

struct PrivilegedOpenResult {
    enum class Outcome {
        Opened,       // fd holds the device, opened as asked
        Refused,      // the service answered but would not open it (no password, not allowed)
        Unavailable,  // no bus or no service to ask: nothing changes for the caller
        Failed,       // the service was there but the open went wrong for another reason
    };
    Outcome outcome = Outcome::Unavailable;
    FileDescriptor fd;
    std::string detail;  // the service's error name and text, for a message
};

class PrivilegedDeviceOpener {
public:
    virtual ~PrivilegedDeviceOpener() = default;
    // Opens devicePath ("/dev/sdb") for reading, or for reading and writing.
    virtual PrivilegedOpenResult Open(const std::string& devicePath, bool forWrite) = 0;
};

// The opener in use: by default the udisks2 client on the system bus. nullptr switches asking off.
PrivilegedDeviceOpener* CurrentPrivilegedOpener();
void SetPrivilegedOpener(PrivilegedDeviceOpener* opener);

// Called every 50 ms while the privileged opener waits (polkit may be asking for a password for
// minutes), on the thread that asked: the window repaints meanwhile. Empty: just wait.
void SetPrivilegedOpenWaitHook(std::function<void()> hook);

// The privileged opener's answer for devicePath, the wait hook called while it comes. An open
// asked for from inside the wait hook gets Unavailable: the user answers one question at a time.
PrivilegedOpenResult AskPrivilegedOpener(const std::string& devicePath, bool forWrite);

// open(2) of path with flags; when that fails for lack of permission and path is a block device,
// asks the privileged opener instead. On failure fd is invalid and err the errno of the plain open
// (so the message stays what it was when no service could help).
FileDescriptor OpenDeviceOrAsk(const std::string& path, int flags, int& err);

}  // namespace quorvane
