#include "platform/udisks2_client.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <memory>
#include <systemd/sd-bus.h>
#include <utility>

namespace quorvane {
namespace {

constexpr const char* Service = "org.freedesktop.UDisks2";
constexpr const char* ManagerPath = "/org/freedesktop/UDisks2/Manager";
constexpr const char* ManagerInterface = "org.freedesktop.UDisks2.Manager";
constexpr const char* BlockInterface = "org.freedesktop.UDisks2.Block";
constexpr const char* BlockPathPrefix = "/org/freedesktop/UDisks2/block_devices/";

struct BusUnref {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using Bus = std::unique_ptr<sd_bus, BusUnref>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

class BusError {
public:
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&error_); }
    sd_bus_error* get() { return &error_; }
    bool is(const char* name) const { return sd_bus_error_has_name(&error_, name) != 0; }
    std::string text() const {
        std::string t = error_.name != nullptr ? error_.name : "";
        if (error_.message != nullptr && *error_.message != '\0') t += std::string(t.empty() ? "" : ": ") + error_.message;
        return t;
    }

private:
    sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

Bus connect(const std::string& address) {
    sd_bus* raw = nullptr;
    if (address.empty()) {
        if (sd_bus_open_system(&raw) < 0) return nullptr;
        return Bus(raw);
    }
    if (sd_bus_new(&raw) < 0) return nullptr;
    Bus bus(raw);
    if (sd_bus_set_address(bus.get(), address.c_str()) < 0 || sd_bus_set_bus_client(bus.get(), 1) < 0 ||
        sd_bus_start(bus.get()) < 0)
        return nullptr;
    return bus;
}

// No one owns the name, or the bus cannot start it: udisks2 is not running here.
bool serviceMissing(const BusError& e) {
    return e.is(SD_BUS_ERROR_SERVICE_UNKNOWN) || e.is(SD_BUS_ERROR_NAME_HAS_NO_OWNER) ||
           e.is("org.freedesktop.DBus.Error.Spawn.ServiceNotFound");
}

// The user gave no password or polkit does not allow the action.
bool refusal(const BusError& e) {
    for (const char* name : {"org.freedesktop.UDisks2.Error.NotAuthorized", "org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain",
                             "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed", SD_BUS_ERROR_ACCESS_DENIED,
                             SD_BUS_ERROR_AUTH_FAILED}) {
        if (e.is(name)) return true;
    }
    return false;
}

PrivilegedOpenResult failure(PrivilegedOpenResult::Outcome outcome, std::string detail) {
    PrivilegedOpenResult r;
    r.outcome = outcome;
    r.detail = std::move(detail);
    return r;
}

PrivilegedOpenResult failureOf(const BusError& e, int r) {
    std::string detail = e.text();
    if (detail.empty()) detail = std::strerror(-r);
    if (serviceMissing(e)) return failure(PrivilegedOpenResult::Outcome::Unavailable, detail);
    if (refusal(e)) return failure(PrivilegedOpenResult::Outcome::Refused, detail);
    return failure(PrivilegedOpenResult::Outcome::Failed, detail);
}

// udisks2's object path of a kernel device name: letters and digits stay, every other byte is
// written as _xx in hex ("dm-0" -> "dm_2d0").
std::string blockObjectPath(const std::string& devicePath) {
    const auto slash = devicePath.find_last_of('/');
    const std::string name = slash == std::string::npos ? devicePath : devicePath.substr(slash + 1);
    std::string path = BlockPathPrefix;
    static const char hex[] = "0123456789abcdef";
    for (const unsigned char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            path += static_cast<char>(c);
        } else {
            path += '_';
            path += hex[c >> 4];
            path += hex[c & 15];
        }
    }
    return path;
}

}  // namespace

UDisks2Client::UDisks2Client(std::string busAddress) : busAddress_(std::move(busAddress)) {}

PrivilegedOpenResult UDisks2Client::Open(const std::string& devicePath, bool forWrite) {
    using Outcome = PrivilegedOpenResult::Outcome;
    Bus bus = connect(busAddress_);
    if (!bus) return failure(Outcome::Unavailable, "no D-Bus connection");

    // The manager names the block object of a device file; older services lack ResolveDevice, and
    // their object paths follow the kernel name.
    std::string objectPath;
    {
        BusError error;
        sd_bus_message* raw = nullptr;
        const int r = sd_bus_call_method(bus.get(), Service, ManagerPath, ManagerInterface, "ResolveDevice", error.get(),
                                         &raw, "a{sv}a{sv}", 1, "path", "s", devicePath.c_str(), 0);
        Message reply(raw);
        if (r < 0) {
            if (!error.is(SD_BUS_ERROR_UNKNOWN_METHOD)) return failureOf(error, r);
            objectPath = blockObjectPath(devicePath);
        } else {
            const char* first = nullptr;
            if (sd_bus_message_enter_container(reply.get(), 'a', "o") > 0 &&
                sd_bus_message_read(reply.get(), "o", &first) > 0 && first != nullptr)
                objectPath = first;
            if (objectPath.empty()) return failure(Outcome::Failed, "udisks2 does not know " + devicePath);
        }
    }

    sd_bus_message* rawCall = nullptr;
    if (sd_bus_message_new_method_call(bus.get(), &rawCall, Service, objectPath.c_str(), BlockInterface,
                                       "OpenDevice") < 0)
        return failure(Outcome::Failed, "cannot build the OpenDevice call");
    Message call(rawCall);
    if (sd_bus_message_append(call.get(), "sa{sv}", forWrite ? "rw" : "r", 0) < 0)
        return failure(Outcome::Failed, "cannot build the OpenDevice call");
    // polkit's agent may ask for a password; the caller waits for the answer.
    if (sd_bus_message_set_allow_interactive_authorization(call.get(), 1) < 0)
        return failure(Outcome::Failed, "cannot build the OpenDevice call");

    BusError error;
    sd_bus_message* rawReply = nullptr;
    const auto timeoutUsec = static_cast<std::uint64_t>(openTimeout.count()) * 1000000u;
    const int r = sd_bus_call(bus.get(), call.get(), timeoutUsec, error.get(), &rawReply);
    Message reply(rawReply);
    if (r < 0) return failureOf(error, r);
    int fd = -1;
    if (sd_bus_message_read(reply.get(), "h", &fd) <= 0 || fd < 0)
        return failure(Outcome::Failed, "udisks2 answered without a descriptor");
    // The descriptor belongs to the reply; keep a copy of our own.
    PrivilegedOpenResult result;
    result.fd.reset(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
    if (!result.fd) return failure(Outcome::Failed, std::strerror(errno));
    result.outcome = Outcome::Opened;
    return result;
}

}  // namespace quorvane
