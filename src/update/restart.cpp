// Handing over to the updater, which starts the program again once this process has ended.
#include "update/web_update.h"

#include "support/zarq_versioninfo.h"
#include "update/process_launch.h"

#include <cstdlib>
#include <unistd.h>

namespace quorvane {

std::string TWebUpdate::RestartCommandLine(pid_t processId) const {
    std::string updater = UpdaterProgram;
    if (updater.find_first_of(" \t") != std::string::npos) updater = "\"" + updater + "\"";
    // Without an appname in the control file the running program itself is started again.
    std::string app = AppName;
    if (app.empty()) {
        app = OwnExecutablePath();
        if (app.find_first_of(" \t") != std::string::npos) app = "\"" + app + "\"";
    }
    return updater + " " + std::to_string(processId) + " " + app + " " + AppComps;
}

void TWebUpdate::DoRestart() {
    if (Cancelled) return;
    // The updater outlives this process, so it gets a session of its own.
    StartProcess(SplitCommandLine(RestartCommandLine(::getpid())), true);
    StopConnection();
    if (OnTerminateApplication)
        OnTerminateApplication();
    else
        std::exit(0);
}

}  // namespace quorvane
