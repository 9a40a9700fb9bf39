// When opening a device is refused for lack of permission, the privileged opener is asked and its
// descriptor used; an image file the user may not read is never taken there, and a refusal leaves
// the plain open's error. Runs a child as user nobody (needs root and a loop device).
#include "platform/image_fixtures.h"
#include "platform/privileged_open.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvane {
namespace {

// Stands in for udisks2: hands out a descriptor opened while the process was still root.
class HeldOpener : public PrivilegedDeviceOpener {
public:
    PrivilegedOpenResult Open(const std::string&, bool forWrite) override {
        ++calls;
        askedForWrite = forWrite;
        PrivilegedOpenResult r;
        if (refuse) {
            r.outcome = PrivilegedOpenResult::Outcome::Refused;
            return r;
        }
        r.outcome = PrivilegedOpenResult::Outcome::Opened;
        r.fd.reset(::dup(held.get()));
        return r;
    }
    FileDescriptor held;
    int calls = 0;
    bool askedForWrite = false;
    bool refuse = false;
};

// The checks, as user nobody; the exit code names the first that failed.
int checkAsNobody(const std::string& device, const std::string& image, HeldOpener& opener) {
    int err = 0;
    FileDescriptor fd = OpenDeviceOrAsk(device, O_RDONLY, err);
    if (!fd || err != 0 || opener.calls != 1 || opener.askedForWrite) return 10;
    char byte = 0;
    if (::pread(fd.get(), &byte, 1, 0) != 1) return 11;
    fd = OpenDeviceOrAsk(device, O_WRONLY, err);
    if (!fd || opener.calls != 2 || !opener.askedForWrite) return 12;

    fd = OpenDeviceOrAsk(image, O_RDONLY, err);
    if (fd || err != EACCES || opener.calls != 2) return 20;  // a file is the user's own business

    opener.refuse = true;
    fd = OpenDeviceOrAsk(device, O_RDONLY, err);
    if (fd || err != EACCES || opener.calls != 3) return 30;  // the message stays as it was
    return 0;
}

TEST(PrivilegedOpen, ADeviceRefusedForPermissionIsOpenedByTheDiskService) {
    testing::TempDir dir;
    const std::string image = testing::MakeFatImage(dir, "card.img", 16, 4096, "CARD");
    testing::LoopDevice loop(image, "");
    if (loop.device().empty()) GTEST_SKIP() << "needs root and a free loop device";
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
    std::filesystem::permissions(image, std::filesystem::perms(0600));

    HeldOpener opener;
    opener.held.reset(::open(loop.device().c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(opener.held.valid());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SetPrivilegedOpener(&opener);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        ::_exit(checkAsNobody(loop.device(), image, opener));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10s: the device; 20: the image file; 30: a refusal";
}

// While the service waits for the user's password, the thread that asked keeps calling the wait
// hook (the window repaints), and the service's answer still comes back.
TEST(PrivilegedOpen, TheWaitHookRunsWhileTheServiceAnswers) {
    struct SlowOpener : PrivilegedDeviceOpener {
        PrivilegedOpenResult Open(const std::string&, bool) override {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            PrivilegedOpenResult r;
            r.outcome = PrivilegedOpenResult::Outcome::Refused;
            r.detail = "not authorized";
            return r;
        }
    } slow;
    PrivilegedDeviceOpener* before = CurrentPrivilegedOpener();
    SetPrivilegedOpener(&slow);
    int waits = 0;
    const std::thread::id asker = std::this_thread::get_id();
    bool otherThread = false;
    PrivilegedOpenResult::Outcome nested = PrivilegedOpenResult::Outcome::Opened;
    SetPrivilegedOpenWaitHook([&] {
        // A timer of the window opening a card meanwhile does not ask the user a second time.
        if (++waits == 1) nested = AskPrivilegedOpener("/dev/sdy", false).outcome;
        otherThread = otherThread || std::this_thread::get_id() != asker;
    });
    const PrivilegedOpenResult r = AskPrivilegedOpener("/dev/sdz", false);
    SetPrivilegedOpenWaitHook(nullptr);
    SetPrivilegedOpener(before);
    EXPECT_EQ(r.outcome, PrivilegedOpenResult::Outcome::Refused);
    EXPECT_EQ(r.detail, "not authorized");
    EXPECT_GE(waits, 2);
    EXPECT_FALSE(otherThread);
    EXPECT_EQ(nested, PrivilegedOpenResult::Outcome::Unavailable);
}

}  // namespace
}  // namespace quorvane
