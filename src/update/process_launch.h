#pragma once
// Starting and waiting for other programs: the command lines of the update control file, the
// patch program and the updater. Programs are started directly (posix_spawn), never through a
// shell, so a command line is split into its arguments here.
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace quorvane {

// Splits a command line the way the control file writes one: blanks separate arguments and
// double quotes group blanks into an argument ("C:\Program Files\x.exe" -a). Quotes are removed.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// Starts argv[0] (looked up on PATH when it holds no slash) with argv. A new session keeps the
// program running when the one that started it ends. Answers its process number, -1 on failure.
pid_t StartProcess(const std::vector<std::string>& argv, bool newSession = false);

// Starts argv and waits for it; answers its exit code, -1 when it could not be started or did
// not exit normally.
int RunAndWait(const std::vector<std::string>& argv);

// Waits until the process pid, which need not be our child, has ended.
void WaitForProcessEnd(pid_t pid);

// Collects the exit status of those started processes that have ended, so none stays a zombie,
// and drops them from pids.
void ReapFinished(std::vector<pid_t>& pids);

}  // namespace quorvane
