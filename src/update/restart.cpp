// Handing over to the updater, which starts the program again once this process has ended.
#include "update/web_update.h"

#include "platform/process_runner.h"
#include "support/zarq_versioninfo.h"
#include "update/command_line.h"
#include "update/confined_path.h"

#include <cstdlib>
#include <unistd.h>

namespace quorvane {

std::vector<std::string> TWebUpdate::RestartArguments(pid_t processId) const {
    // The application's command line travels as one argument, which the updater splits; its
    // program path keeps the quotes LocalCommandLine gave it when it holds a blank.
    std::string app = AppName;
    // The application started again is a program of Quorvane's folder, never one elsewhere.
    const std::vector<std::string> appArgs = SplitCommandLine(app);
    if (!appArgs.empty() && !IsFileBelow(appArgs[0], ProgramFolder())) app.clear();
    if (app.empty()) {
        // Without an appname in the control file the running program itself is started again.
        app = OwnExecutablePath();
        if (app.find_first_of(" \t") != std::string::npos) app = "\"" + app + "\"";
    }
    std::vector<std::string> args{UpdaterProgram, std::to_string(processId), app};
    for (std::string& component : SplitCommandLine(AppComps)) args.push_back(std::move(component));
    return args;
}

void TWebUpdate::DoRestart() {
    if (Cancelled || !InstallRefusal().empty()) return;
    // The updater outlives this process, so it gets a session of its own.
    StartProcess(RestartArguments(::getpid()), true);
    StopConnection();
    if (OnTerminateApplication)
        OnTerminateApplication();
    else
        std::exit(0);
}

}  // namespace quorvane
