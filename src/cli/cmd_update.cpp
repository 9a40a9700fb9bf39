// quorvane-cli update [--check]: the live update without a window, over the engine the desktop's
// update wizard drives. --check says whether a newer version exists and what is new; without it
// the whole update runs, with a progress line, and refuses where the wizard refuses.
#include "app/program_folder.h"
#include "app/update_url.h"
#include "cli/commands.h"
#include "cli/console_ui.h"
#include "cli/exit_codes.h"
#include "update/web_update.h"
#include "update/web_update_wizard.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace quorvane::cli {
namespace {

// Server text on the terminal: control characters shown as \xNN, so that none reaches the
// terminal as a command. Line breaks stay where the text is a block of lines.
std::string printable(const std::string& text, bool keepLineBreaks = false) {
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && !(keepLineBreaks && c == '\n')) || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    return out;
}

void printLines(const char* heading, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    std::printf("\n%s\n", heading);
    for (const std::string& line : lines) std::printf("  %s\n", printable(line).c_str());
}

int refused(const TWebUpdate& update) {
    std::fprintf(stderr, "quorvane-cli: update refused: %s\n", printable(update.Refusal).c_str());
    return ExitUpdateRefused;
}

// The control file and the version check: ExitOk with *available telling whether an update is
// offered, or the exit code of what went wrong.
int checkVersion(TWebUpdate& update, bool& available) {
    available = false;
    if (update.StartConnection() != wuOk) {
        std::fputs("quorvane-cli: no connection could be opened for the update.\n", stderr);
        return ExitRunFailed;
    }
    if (update.GetControlFile() != wuOk) {
        if (!update.Refusal.empty()) return refused(update);
        std::fprintf(stderr, "quorvane-cli: %s%s (%s)\n", TWUWIZ::Texts(TWUWIZ::txtCouldNotConnect).c_str(),
                     TWUWIZ::Texts(TWUWIZ::txtNoUpdateOnServer).c_str(), printable(update.GetControlFileURL()).c_str());
        return ExitRunFailed;
    }
    const int result = update.DoVersionCheck();
    if (result == wuNoUpdate) {
        std::printf("%s\n", TWUWIZ::Texts(TWUWIZ::txtNoNewVersion).c_str());
        return ExitOk;
    }
    available = true;
    std::printf("%s\n", TWUWIZ::Texts(TWUWIZ::txtNewVersionFound).c_str());
    if (result == wuVersionUpdate) {
        std::printf("%s%s\n%s%s\n", TWUWIZ::Texts(TWUWIZ::txtCurrentVersion).c_str(), update.CurrentVersionText.c_str(),
                    TWUWIZ::Texts(TWUWIZ::txtNewVersion).c_str(), update.NewVersionText.c_str());
    } else if (result == wuDateUpdate) {
        std::printf("%s%s\n%s%s\n", TWUWIZ::Texts(TWUWIZ::txtCurrentVersion).c_str(),
                    FormatShortDate(update.LastDate).c_str(), TWUWIZ::Texts(TWUWIZ::txtNewVersion).c_str(),
                    FormatShortDate(update.NewDate).c_str());
    }
    if (!update.Description.empty()) std::printf("%s\n", printable(update.Description).c_str());
    return ExitOk;
}

// "Downloading notes.txt  45%" on one line of standard error, rewritten in place on a terminal.
void showProgress(TWebUpdate& update) {
    if (::isatty(STDERR_FILENO) == 0) return;
    update.OnFileProgress = [&update](const std::string& path, std::int64_t size, std::int64_t position) {
        const std::size_t slash = path.find_last_of('/');
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        const std::int64_t total = update.FileList.TotalSize();
        const std::int64_t done = update.FileList.CompletedSize() + position;
        std::fprintf(stderr, "\r\x1b[KDownloading %s (%d of %zu)", printable(name).c_str(),
                     update.FileList.ActiveIndex + 1, update.FileList.Items.size());
        if (size > 0) std::fprintf(stderr, "  %3d%%", static_cast<int>(std::min<std::int64_t>(position * 100 / size, 100)));
        if (total > 0)
            std::fprintf(stderr, "  total %3d%%", static_cast<int>(std::min<std::int64_t>(done * 100 / total, 100)));
    };
}

}  // namespace

int Update(const UpdateOptions& options) {
    ConsoleUI ui;
    TWebUpdate update;
    update.Prefixes.app = ProgramFolder();
    update.URL = ReadUpdateURL(ProgramFolder());
    update.OnShowURL = [](const std::string& url) { std::printf("More: %s\n", printable(url).c_str()); };
    update.OnProgressCancel = [&ui] { return ui.Interrupted(); };

    // Checking only reads: it needs neither a writable folder nor an ordinary user.
    if (!options.checkOnly) {
        update.Refusal = update.InstallRefusal();
        if (!update.Refusal.empty()) {
            std::fprintf(stderr, "quorvane-cli: %s\n", update.Refusal.c_str());
            return ExitNoPermission;
        }
    }
    bool available = false;
    if (const int rc = checkVersion(update, available); rc != ExitOk || !available) return rc;

    if (options.checkOnly) {
        printLines("What's new:", update.GetWhatsNew());
        return update.Refusal.empty() ? ExitOk : refused(update);
    }

    update.HandleActions();
    printLines("What's new:", update.GetWhatsNew());
    if (!update.Refusal.empty()) return refused(update);
    const std::vector<std::string> licence = update.GetEULA();
    if (!update.Refusal.empty()) return refused(update);
    if (!licence.empty() && !options.acceptLicence) {
        printLines("Licence:", licence);
        std::fputs("\nquorvane-cli: the update comes with the licence above; run again with --accept-licence to "
                   "accept it and update.\n",
                   stderr);
        return ExitUsage;
    }

    if (update.GetFileDetails() == 0) {
        std::printf("%s\n", TWUWIZ::Texts(TWUWIZ::txtNoFiles).c_str());
        return ExitOk;
    }
    showProgress(update);
    update.GetFileUpdates();
    if (::isatty(STDERR_FILENO) != 0) std::fputs("\r\x1b[K", stderr);
    if (!update.Refusal.empty()) return refused(update);
    if (update.Cancelled || ui.Interrupted()) {
        std::fputs("quorvane-cli: update cancelled; nothing was installed.\n", stderr);
        return ExitCancelled;
    }
    update.StopConnection();
    std::printf("Update completed: %zu file%s. Start Quorvane again to use the new version.\n",
                update.FileList.Items.size(), update.FileList.Items.size() == 1 ? "" : "s");
    return ExitOk;
}

}  // namespace quorvane::cli
