// quorvane-cli version: what the About box shows, read from this program's own version resource.
#include "cli/exit_codes.h"
#include "app/messages.h"
#include "support/zarq_versioninfo.h"

#include <cstdio>
#include <string>

namespace quorvane::cli {

int PrintVersion() {
    TZarq_VersionInfo info;
    info.OpenVersionFile(OwnExecutablePath());
    std::printf("Quorvane\n%s%s\n", ListBoxStrings(msgVersion).c_str(), info.Value("Product Version").c_str());
    if (!info.LegalNotice.empty()) std::printf("%s\n", info.LegalNotice.c_str());
    return ExitOk;
}

}  // namespace quorvane::cli
