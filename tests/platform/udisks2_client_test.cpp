// The udisks2 client against a stand-in service on a private bus: a device opened read-only or
// for writing through the descriptor the service hands back, a refusal, a device the service does
// not know, and no service or no bus at all.
#include "platform/udisks2_client.h"
#include "platform/process_runner.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using Outcome = PrivilegedOpenResult::Outcome;

// Reads one line of a child's output, waiting at most ten seconds; "" when none came.
std::string ReadLine(int fd) {
    std::string line;
    for (int waited = 0; waited < 10000;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            waited += 100;
            continue;
        }
        char c = 0;
        if (::read(fd, &c, 1) != 1) break;
        if (c == '\n') return line;
        line += c;
    }
    return line;
}

void Stop(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

// A private bus of our own (dbus-daemon from package dbus), so the test never meets the
// machine's udisks2.
class UDisks2ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("quorvane-udisks-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        image_ = (folder_ / "card.img").string();
        std::ofstream(image_, std::ios::binary) << std::string(4096, 'Q');

        ProcessOptions options;
        options.captureOutput = true;
        bus_ = SpawnProcess({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"}, options);
        ASSERT_GT(bus_.pid, 0) << "dbus-daemon cannot be started";
        // Its warnings share the pipe; the address is the line that names a socket.
        for (int line = 0; line < 10 && address_.rfind("unix:", 0) != 0; ++line) address_ = ReadLine(bus_.output.get());
        ASSERT_EQ(address_.rfind("unix:", 0), 0u) << "dbus-daemon gave no address";
    }

    void TearDown() override {
        Stop(service_.pid);
        Stop(bus_.pid);
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    void StartService(const char* behaviour) {
        ProcessOptions options;
        options.captureOutput = true;
        service_ = SpawnProcess({"/usr/bin/python3", QUORVANE_SOURCE_DIR "/tests/platform/udisks2_stand_in.py", address_, image_,
                                 behaviour},
                                options);
        ASSERT_GT(service_.pid, 0);
        // Debian's python3 holds python3-dbus and python3-gi, whatever python3 PATH finds first.
        ASSERT_EQ(ReadLine(service_.output.get()), "ready");
    }

    fs::path folder_;
    std::string image_;
    std::string address_;
    StartedProcess bus_;
    StartedProcess service_;
};

TEST_F(UDisks2ClientTest, OpensTheDeviceAsAskedAndHandsOverTheDescriptor) {
    StartService("open");
    const struct {
        bool forWrite;
        int accessMode;
    } cases[] = {{false, O_RDONLY}, {true, O_RDWR}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.forWrite ? "rw" : "r");
        UDisks2Client client(address_);
        PrivilegedOpenResult r = client.Open("/dev/sdz", c.forWrite);
        ASSERT_EQ(r.outcome, Outcome::Opened) << r.detail;
        ASSERT_TRUE(r.fd.valid());
        EXPECT_EQ(::fcntl(r.fd.get(), F_GETFL) & O_ACCMODE, c.accessMode);
        EXPECT_NE(::fcntl(r.fd.get(), F_GETFD) & FD_CLOEXEC, 0);
        char bytes[4] = {};
        ASSERT_EQ(::pread(r.fd.get(), bytes, sizeof bytes, 100), 4);
        EXPECT_EQ(std::string(bytes, 4), "QQQQ");
    }
}

TEST_F(UDisks2ClientTest, RefusalAndUnknownDeviceGiveNoDescriptor) {
    {
        StartService("refuse");
        UDisks2Client client(address_);
        const PrivilegedOpenResult r = client.Open("/dev/sdz", false);
        EXPECT_EQ(r.outcome, Outcome::Refused);
        EXPECT_FALSE(r.fd.valid());
        EXPECT_NE(r.detail.find("NotAuthorized"), std::string::npos) << r.detail;
        Stop(service_.pid);
    }
    StartService("open");
    UDisks2Client client(address_);
    const PrivilegedOpenResult r = client.Open("/dev/sdy", false);
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_FALSE(r.fd.valid());
}

TEST_F(UDisks2ClientTest, WithoutServiceOrBusNothingIsOpened) {
    const std::string noBus = "unix:path=" + (folder_ / "no-such-socket").string();
    for (const std::string& address : {address_, noBus}) {
        SCOPED_TRACE(address);
        UDisks2Client client(address);
        const PrivilegedOpenResult r = client.Open("/dev/sdz", false);
        EXPECT_EQ(r.outcome, Outcome::Unavailable) << r.detail;
        EXPECT_FALSE(r.fd.valid());
    }
}

}  // namespace
}  // namespace quorvane
