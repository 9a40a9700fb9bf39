#include "platform/block_device_events.h"

#include <cstring>
#include <linux/netlink.h>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace quorvane {

BlockDeviceEvents::BlockDeviceEvents() {
    FileDescriptor s(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT));
    if (!s) return;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = 1;  // the kernel's own messages (udev's come on group 2, when it runs)
    if (::bind(s.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return;
    socket_ = std::move(s);
}

bool BlockDeviceEvents::Drain() {
    if (!socket_) return false;
    bool block = false;
    char buffer[8192];
    // Bounded: a burst of messages is read at most this many at a time; the rest stays readable.
    for (int i = 0; i < 256; ++i) {
        const ssize_t n = ::recv(socket_.get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) break;
        if (IsBlockDeviceUevent(buffer, static_cast<std::size_t>(n))) block = true;
    }
    return block;
}

bool IsBlockDeviceUevent(const char* message, std::size_t size) {
    bool blockSubsystem = false;
    bool wantedAction = false;
    std::size_t at = 0;
    while (at < size) {
        const char* start = message + at;
        const std::size_t length = ::strnlen(start, size - at);
        const std::string_view field(start, length);
        if (field == "SUBSYSTEM=block") blockSubsystem = true;
        if (field == "ACTION=add" || field == "ACTION=remove" || field == "ACTION=change") wantedAction = true;
        at += length + 1;
    }
    return blockSubsystem && wantedAction;
}

}  // namespace quorvane
