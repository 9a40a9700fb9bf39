#pragma once
// The kernel's news of block devices coming and going: a netlink socket of uevents that a window
// watches (its descriptor becomes readable when something happened). Where the socket cannot be
// opened (some containers), the window polls the drive table's fingerprint instead.
#include "support/file_descriptor.h"

#include <cstddef>

namespace quorvane {

class BlockDeviceEvents {
public:
    // Opens and binds the uevent socket, non-blocking; valid() is false when that fails.
    BlockDeviceEvents();

    bool valid() const { return socket_.valid(); }
    int fd() const { return socket_.get(); }

    // Reads every message waiting; true when one of them added, removed or changed a block device
    // (a card put into a reader is a "change" of the reader's disk).
    bool Drain();

private:
    FileDescriptor socket_;
};

// Whether one uevent message (NUL-separated "ACTION@path" then KEY=value fields) is about a block
// device being added, removed or changed.
bool IsBlockDeviceUevent(const char* message, std::size_t size);

}  // namespace quorvane
