#include "platform/process_runner.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quorvane {
namespace {

// The pieces of a spawn that must be destroyed again, whichever way the spawn goes.
class SpawnSetup {
public:
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawn_file_actions_t* actions() { return &actions_; }
    posix_spawnattr_t* attributes() { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

// Waits for a child; false when it cannot be waited for (not ours, or already collected).
bool WaitForChild(pid_t pid, int& status) {
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

// A process that has ended but is not yet collected by its parent still answers kill(pid, 0).
bool IsZombie(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;  // gone
    const std::size_t close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] == 'Z' || line[close + 2] == 'X';
}

bool HasEnded(pid_t pid) {
    if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
    return IsZombie(pid);
}

}  // namespace

StartedProcess SpawnProcess(const std::vector<std::string>& arguments, const ProcessOptions& options) {
    StartedProcess started;
    if (arguments.empty() || (options.program.empty() && arguments[0].empty())) {
        started.error = ENOENT;
        return started;
    }
    const std::string& file = options.program.empty() ? arguments[0] : options.program;
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    SpawnSetup setup;
    if (options.newSession) {
        posix_spawnattr_setflags(setup.attributes(), POSIX_SPAWN_SETSID);
    } else if (options.timeoutMs > 0) {
        // A group of its own, so a timeout ends whatever the program started too.
        posix_spawnattr_setflags(setup.attributes(), POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(setup.attributes(), 0);
    }
    FileDescriptor writeEnd;
    if (options.captureOutput) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            started.error = errno;
            return started;
        }
        started.output.reset(ends[0]);
        writeEnd.reset(ends[1]);
        // The child's copies lose O_CLOEXEC; the pipe's own ends close at its exec.
        posix_spawn_file_actions_adddup2(setup.actions(), writeEnd.get(), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(setup.actions(), writeEnd.get(), STDERR_FILENO);
        posix_spawn_file_actions_addopen(setup.actions(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    pid_t pid = -1;
    const int rc = options.program.empty()
                       ? ::posix_spawnp(&pid, file.c_str(), setup.actions(), setup.attributes(), argv.data(), environ)
                       : ::posix_spawn(&pid, file.c_str(), setup.actions(), setup.attributes(), argv.data(), environ);
    if (rc != 0) {
        started.error = rc;
        started.output.reset();
        return started;
    }
    started.pid = pid;
    if (options.memoryLimit > 0) {
        const rlimit limit{static_cast<rlim_t>(options.memoryLimit), static_cast<rlim_t>(options.memoryLimit)};
        ::prlimit(pid, RLIMIT_AS, &limit, nullptr);
    }
    return started;
}

ProcessResult RunProcess(const std::vector<std::string>& arguments, const ProcessOptions& options,
                         const std::function<void()>& whileRunning) {
    ProcessResult result;
    StartedProcess child = SpawnProcess(arguments, options);
    if (child.pid < 0) {
        result.startError = child.error;
        return result;
    }
    result.started = true;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(options.timeoutMs);
    auto outran = [&] {
        if (options.timeoutMs <= 0 || Clock::now() < deadline) return false;
        // The group is the program's own (SpawnProcess), unless it asked for a session.
        ::kill(options.newSession ? child.pid : -child.pid, SIGKILL);
        ::kill(child.pid, SIGKILL);
        result.timedOut = true;
        return true;
    };
    int status = 0;
    bool collected = false;
    if (child.output) {
        char buffer[4096];
        for (;;) {
            pollfd p{child.output.get(), POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                const ssize_t n = ::read(child.output.get(), buffer, sizeof buffer);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;  // every writer has closed: the program ended or shut its output
                const std::size_t room = options.outputLimit - std::min(options.outputLimit, result.output.size());
                result.output.append(buffer, std::min(room, static_cast<std::size_t>(n)));
            }
            // Something it started may still hold the pipe open: a killed program is not read further.
            if (outran()) break;
            if (whileRunning) whileRunning();
        }
        child.output.reset();
    } else if (options.timeoutMs > 0) {
        for (;;) {
            const pid_t r = ::waitpid(child.pid, &status, WNOHANG);
            if (r == child.pid) {
                collected = true;
                break;
            }
            if (r < 0 && errno != EINTR) return result;
            if (outran()) break;
            if (whileRunning) whileRunning();
            ::usleep(20'000);
        }
    }
    if (!collected && !WaitForChild(child.pid, status)) return result;
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

pid_t StartProcess(const std::vector<std::string>& argv, bool newSession) {
    ProcessOptions options;
    options.newSession = newSession;
    return SpawnProcess(argv, options).pid;
}

int RunAndWait(const std::vector<std::string>& argv) {
    const ProcessResult r = RunProcess(argv);
    return r.exited ? r.exitCode : -1;
}

void WaitForProcessEnd(pid_t pid) {
    if (pid <= 0) return;
#ifdef SYS_pidfd_open
    // A pidfd becomes readable when the process exits, zombie or not.
    const FileDescriptor process(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (process) {
        pollfd p{process.get(), POLLIN, 0};
        while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
        return;
    }
    if (errno == ESRCH) return;
#endif
    while (!HasEnded(pid)) ::usleep(100'000);
}

void ReapFinished(std::vector<pid_t>& pids) {
    std::erase_if(pids, [](pid_t pid) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        return r == pid || (r < 0 && errno == ECHILD);
    });
}

std::string FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/sbin:/usr/bin:/bin";
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) continue;
        const std::string candidate = dir + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

}  // namespace quorvane
