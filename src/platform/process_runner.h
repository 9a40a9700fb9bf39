#pragma once
// Starting other programs and waiting for them: mkfs.fat for a format, xdg-open for a web page,
// the live update's patch program, its "run before" command and the updater. Programs are
// started directly (posix_spawn), never through a shell, so arguments need no quoting.
#include "support/file_descriptor.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quorvane {

struct ProcessOptions {
    // The file to run; "" runs arguments[0], looked up on PATH when it holds no slash.
    std::string program;
    // A session of its own keeps the program running when the one that started it ends.
    bool newSession = false;
    // stdout and stderr go into one pipe that the starter reads; stdin is /dev/null.
    bool captureOutput = false;
    // How much captured output RunProcess keeps; the rest is read and dropped.
    std::size_t outputLimit = 65536;
    // RunProcess kills the program, with every process it started, once it has run this long;
    // 0: no limit. The program then gets a process group of its own.
    int timeoutMs = 0;
    // The largest address space the program may take (RLIMIT_AS), in bytes; 0: no limit. Set on
    // the child as soon as it has started, so a program that must hold it from its first
    // instruction sets it on itself as well.
    std::uint64_t memoryLimit = 0;
};

struct StartedProcess {
    pid_t pid = -1;          // -1 when the program could not be started
    int error = 0;           // why it could not: an errno value
    FileDescriptor output;   // the read end of the captured output
};

// Starts arguments as a child process; the caller waits for it or reaps it.
StartedProcess SpawnProcess(const std::vector<std::string>& arguments, const ProcessOptions& options = {});

struct ProcessResult {
    bool started = false;
    int startError = 0;      // errno value when not started
    bool exited = false;     // ended through exit(), not by a signal
    int exitCode = -1;       // its exit status when exited
    int signal = 0;          // the signal that ended it, when one did
    bool timedOut = false;   // killed because it outran ProcessOptions::timeoutMs
    std::string output;      // captured stdout and stderr
};

// Starts arguments and waits for the end. While captured output is awaited, or a time limit
// runs, whileRunning is called about every 20 ms (a window keeps answering that way).
ProcessResult RunProcess(const std::vector<std::string>& arguments, const ProcessOptions& options = {},
                         const std::function<void()>& whileRunning = {});

// Starts argv, looked up on PATH when argv[0] holds no slash. Answers its process number, -1 on
// failure.
pid_t StartProcess(const std::vector<std::string>& argv, bool newSession = false);

// Starts argv and waits for it; answers its exit code, -1 when it could not be started or did
// not exit normally.
int RunAndWait(const std::vector<std::string>& argv);

// Waits until the process pid, which need not be our child, has ended.
void WaitForProcessEnd(pid_t pid);

// Collects the exit status of those started processes that have ended, so none stays a zombie,
// and drops them from pids.
void ReapFinished(std::vector<pid_t>& pids);

// The executable file a program name stands for: a name with a slash as it is, otherwise the
// first match on PATH and then in the system folders (/usr/sbin, /sbin, /usr/bin, /bin), which a
// user's PATH often lacks. "" when there is none.
std::string FindProgram(const std::string& name);

}  // namespace quorvane
