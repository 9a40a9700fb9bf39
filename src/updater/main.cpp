// quorvane-updater PID COMMAND-LINE [COMPONENTS...]
// Started by the live update just before the program ends: waits until process PID has ended,
// then starts the application command line again. The downloaded files are already in place
// (Linux lets a running program's files be replaced), so COMPONENTS is only accepted.
#include "platform/process_runner.h"
#include "update/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int ExitStarted = 0;
constexpr int ExitUsage = 1;
constexpr int ExitCannotStart = 2;

bool parseProcessNumber(const char* text, pid_t& pid) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value <= 0) return false;
    pid = static_cast<pid_t>(value);
    return pid == value;
}

}  // namespace

int main(int argc, char** argv) {
    pid_t pid = 0;
    if (argc < 3 || !parseProcessNumber(argv[1], pid)) {
        std::fprintf(stderr, "usage: quorvane-updater PID COMMAND-LINE [COMPONENTS...]\n");
        return ExitUsage;
    }
    const auto command = quorvane::SplitCommandLine(argv[2]);
    if (command.empty()) {
        std::fprintf(stderr, "quorvane-updater: empty command line\n");
        return ExitUsage;
    }
    quorvane::WaitForProcessEnd(pid);
    if (quorvane::StartProcess(command) < 0) {
        std::fprintf(stderr, "quorvane-updater: cannot start %s\n", command[0].c_str());
        return ExitCannotStart;
    }
    return ExitStarted;
}
