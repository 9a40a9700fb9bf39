// Starting programs: exit status, captured output, programs that cannot be started, and the
// program lookup that finds mkfs.fat outside a user's PATH, time and memory limits.
#include "platform/process_runner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "platform/image_fixtures.h"

namespace quorvane {
namespace {

ProcessOptions Capturing() {
    ProcessOptions options;
    options.captureOutput = true;
    return options;
}

TEST(ProcessRunner, ExitStatusAndSignalAreTold) {
    struct Case {
        const char* script;
        bool exited;
        int exitCode;
        int signal;
    };
    const Case cases[] = {
        {"exit 0", true, 0, 0},
        {"exit 3", true, 3, 0},
        {"exit 255", true, 255, 0},
        {"kill -TERM $$", false, -1, SIGTERM},
    };
    for (const Case& c : cases) {
        const ProcessResult r = RunProcess({"sh", "-c", c.script});
        SCOPED_TRACE(c.script);
        EXPECT_TRUE(r.started);
        EXPECT_EQ(r.exited, c.exited);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.signal, c.signal);
        EXPECT_EQ(RunAndWait({"sh", "-c", c.script}), c.exited ? c.exitCode : -1);
    }
}

TEST(ProcessRunner, StdoutAndStderrAreCapturedTogether) {
    const ProcessResult r = RunProcess({"sh", "-c", "echo out; echo err >&2; exit 1"}, Capturing());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "out\nerr\n");
}

TEST(ProcessRunner, TheProgramFileAndTheNameItIsGivenCanDiffer) {
    ProcessOptions options = Capturing();
    options.program = FindProgram("sh");
    const ProcessResult r = RunProcess({"mkfs.fat", "-c", "echo $0"}, options);
    EXPECT_EQ(r.output, "mkfs.fat\n");
}

// Output past the limit is read and dropped: a program with a lot to say must not stall on a
// full pipe.
TEST(ProcessRunner, OutputPastTheLimitIsDroppedWhileTheProgramRunsOn) {
    ProcessOptions options = Capturing();
    options.outputLimit = 1000;
    const ProcessResult r = RunProcess({"head", "-c", "300000", "/dev/zero"}, options);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output.size(), 1000u);
}

TEST(ProcessRunner, TheWaitingSideKeepsBeingCalled) {
    int calls = 0;
    const ProcessResult r = RunProcess({"sleep", "0.2"}, Capturing(), [&] { ++calls; });
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_GE(calls, 3);
}

TEST(ProcessRunner, AMissingProgramIsNotStarted) {
    const ProcessResult r = RunProcess({"quorvane-no-such-program"}, Capturing());
    EXPECT_FALSE(r.started);
    EXPECT_EQ(r.startError, ENOENT);
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(RunAndWait({"quorvane-no-such-program"}), -1);
    EXPECT_EQ(StartProcess({"/nonexistent/program"}), -1);
    EXPECT_EQ(StartProcess({}), -1);
    EXPECT_EQ(StartProcess({""}), -1);
}

// The updater must outlive the program that starts it, so it gets a session of its own.
TEST(ProcessRunner, ANewSessionIsLedByTheStartedProgram) {
    ProcessOptions options = Capturing();
    options.newSession = true;
    // Field 6 of /proc/PID/stat is the session id; $$ is the shell's own process number.
    const std::string script = "set -- $(cut -d ')' -f 2 /proc/$$/stat); [ \"$4\" = \"$$\" ] && echo leader";
    EXPECT_EQ(RunProcess({"sh", "-c", script}, options).output, "leader\n");
    options.newSession = false;
    EXPECT_EQ(RunProcess({"sh", "-c", script}, options).output, "");
}

TEST(ProcessRunner, ProgramsAreFoundBeyondPath) {
    const char* saved = std::getenv("PATH");
    const std::string path = saved != nullptr ? saved : "";
    ::setenv("PATH", "/nonexistent", 1);
    const std::string sh = FindProgram("sh");
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_THAT(sh, ::testing::AnyOf("/usr/sbin/sh", "/sbin/sh", "/usr/bin/sh", "/bin/sh"));
    EXPECT_EQ(FindProgram("./relative/name"), "./relative/name");
    EXPECT_EQ(FindProgram("quorvane-no-such-program"), "");
}

// Gone, or dead and waiting for a parent to collect it.
bool HasEnded(pid_t pid) {
    for (int i = 0; i < 100; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) return true;
        const std::size_t close = line.rfind(')');
        if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z') return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// A program that loops is killed, and so is what it started, whether its output is read or not.
TEST(ProcessRunner, AProgramThatOutrunsItsTimeIsKilledWithWhatItStarted) {
    testing::TempDir dir;
    for (const bool capture : {true, false}) {
        ProcessOptions options = capture ? Capturing() : ProcessOptions{};
        options.timeoutMs = 200;
        const std::string pidFile = dir.file(capture ? "captured.pid" : "plain.pid");
        const ProcessResult r =
            RunProcess({"sh", "-c", "sleep 600 & echo $! > '" + pidFile + "'; while :; do :; done"}, options);
        EXPECT_TRUE(r.timedOut) << capture;
        EXPECT_FALSE(r.exited) << capture;
        EXPECT_EQ(r.signal, SIGKILL) << capture;
        std::ifstream in(pidFile);
        pid_t sleeper = 0;
        ASSERT_TRUE(in >> sleeper) << capture;
        EXPECT_TRUE(HasEnded(sleeper)) << capture;

        const ProcessResult quick = RunProcess({"sh", "-c", "exit 4"}, options);
        EXPECT_FALSE(quick.timedOut) << capture;
        EXPECT_EQ(quick.exitCode, 4) << capture;
    }
}

TEST(ProcessRunner, TheMemoryLimitHoldsInTheProgram) {
    ProcessOptions options = Capturing();
    options.memoryLimit = 256u << 20;
    // The limit is set once the program has started: the shell looks a moment later.
    EXPECT_EQ(RunProcess({"sh", "-c", "sleep 0.1; ulimit -v"}, options).output, "262144\n");
}

}  // namespace
}  // namespace quorvane
