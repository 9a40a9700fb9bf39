// The updater program: waits for the process it was given, then starts the application.
#include "platform/process_runner.h"

#include "update/update_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>

namespace quorvane {
namespace {

const std::string updaterPath = std::string(QUORVANE_BINARY_DIR) + "/quorvane-updater";

// Waits up to five seconds for a child; its exit code, or -1.
int waitForExit(pid_t pid) {
    for (int i = 0; i < 500; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

class Updater : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::Exists(updaterPath)) GTEST_SKIP() << "build the quorvane-updater target first";
    }
    testing::ScratchFolder dir;
};

TEST_F(Updater, StartsTheApplicationOnlyAfterTheProcessHasEnded) {
    const pid_t running = StartProcess({"sleep", "30"});
    ASSERT_GT(running, 0);
    const std::string marker = dir / "started";
    const pid_t updater = StartProcess({updaterPath, std::to_string(running), "touch \"" + marker + "\"", "quorvane"});
    ASSERT_GT(updater, 0);

    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(testing::Exists(marker)) << "the application started while the old one still ran";
    int status = 0;
    EXPECT_EQ(::waitpid(updater, &status, WNOHANG), 0) << "the updater stopped waiting";

    ::kill(running, SIGTERM);
    ::waitpid(running, nullptr, 0);
    EXPECT_EQ(waitForExit(updater), 0);
    for (int i = 0; i < 500 && !testing::Exists(marker); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(testing::Exists(marker));
}

TEST_F(Updater, RefusesBadArgumentsAndReportsAProgramThatCannotStart) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    };
    const Case cases[] = {
        {{}, 1},
        {{"12x", "true"}, 1},
        {{"0", "true"}, 1},
        {{"1234", ""}, 1},
        {{"999999999", dir / "no-such-program"}, 2},  // that process number has long ended
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {updaterPath};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(waitForExit(StartProcess(argv)), c.exitCode) << (c.args.empty() ? "" : c.args[0]);
    }
}

}  // namespace
}  // namespace quorvane
