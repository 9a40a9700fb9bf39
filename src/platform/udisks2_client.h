#pragma once
// A client of udisks2's Block.OpenDevice over D-Bus (sd-bus). The device is found through the
// manager's ResolveDevice; polkit asks the user for the password while the call waits.
#include "platform/privileged_open.h"

#include <chrono>
#include <string>

namespace quorvane {

class UDisks2Client : public PrivilegedDeviceOpener {
public:
    // busAddress "": the system bus, where udisks2 runs. Tests give the address of a private bus.
    explicit UDisks2Client(std::string busAddress = {});

    PrivilegedOpenResult Open(const std::string& devicePath, bool forWrite) override;

    // How long the open may wait: the user types a password meanwhile.
    std::chrono::seconds openTimeout{120};

private:
    std::string busAddress_;
};

}  // namespace quorvane
