#include "update/process_launch.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quorvane {

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
    std::vector<std::string> args;
    std::string current;
    bool inQuotes = false;
    bool haveArg = false;
    for (char c : commandLine) {
        if (c == '"') {
            inQuotes = !inQuotes;
            haveArg = true;  // "" is an empty argument
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (haveArg) args.push_back(current);
            current.clear();
            haveArg = false;
        } else {
            current += c;
            haveArg = true;
        }
    }
    if (haveArg) args.push_back(current);
    return args;
}

pid_t StartProcess(const std::vector<std::string>& argv, bool newSession) {
    if (argv.empty() || argv[0].empty()) return -1;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    if (newSession) posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], nullptr, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    return rc == 0 ? pid : -1;
}

int RunAndWait(const std::vector<std::string>& argv) {
    const pid_t pid = StartProcess(argv);
    if (pid < 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

// A process that has ended but is not yet collected by its parent still answers kill(pid, 0).
bool isZombie(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;  // gone
    const std::size_t close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] == 'Z' || line[close + 2] == 'X';
}

bool hasEnded(pid_t pid) {
    if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
    return isZombie(pid);
}

}  // namespace

void WaitForProcessEnd(pid_t pid) {
    if (pid <= 0) return;
#ifdef SYS_pidfd_open
    // A pidfd becomes readable when the process exits, zombie or not.
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) {
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
        ::close(fd);
        return;
    }
    if (errno == ESRCH) return;
#endif
    while (!hasEnded(pid)) ::usleep(100'000);
}

void ReapFinished(std::vector<pid_t>& pids) {
    std::erase_if(pids, [](pid_t pid) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        return r == pid || (r < 0 && errno == ECHILD);
    });
}

}  // namespace quorvane
