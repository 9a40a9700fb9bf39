#include "app/frm_main.h"
#include "app/frm_preview.h"
#include "cli/commands.h"
#include "cli/console_ui.h"
#include "cli/drive_arg.h"
#include "cli/exit_codes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

namespace quorvane::cli {
namespace {

bool makeDestination(const std::string& dest) {
    std::error_code ec;
    std::filesystem::create_directories(dest, ec);
    if (ec || !std::filesystem::is_directory(dest)) {
        std::fprintf(stderr, "error: cannot use %s as the destination folder: %s\n", dest.c_str(),
                     ec ? ec.message().c_str() : "not a folder");
        return false;
    }
    return true;
}

void printReport(const RecoverOptions& o, const TFrmMain& main, const TFrmPreview& preview) {
    const auto& run = main.LastRun;
    if (o.json) {
        auto files = nlohmann::json::array();
        for (const auto& f : preview.Staged()) {
            nlohmann::json file = {{"staged", f.Path}, {"saved", f.SavedAs.empty() ? nlohmann::json() : nlohmann::json(f.SavedAs)},
                                   {"size", f.Size}};
            if (!f.SaveError.empty()) file["error"] = f.SaveError;
            files.push_back(std::move(file));
        }
        nlohmann::json report = {{"method", o.method},          {"drive", o.drive},
                                 {"destination", o.dest},        {"sectors", run.SectorsRead},
                                 {"total_sectors", main.DriveParams->TotalSectors},
                                 {"read_errors", run.ReadErrors}, {"stopped", run.Cancelled},
                                 {"files", std::move(files)}};
        if (!run.Failure.empty()) report["failure"] = run.Failure;
        std::puts(report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return;
    }
    int saved = 0;
    for (const auto& f : preview.Staged()) {
        if (!f.SavedAs.empty()) {
            ++saved;
            std::printf("%s  (%llu bytes)\n", f.SavedAs.c_str(), static_cast<unsigned long long>(f.Size));
        }
    }
    std::printf("%s: %u of %u sectors read, %d read errors, %zu files found, %d saved to %s\n",
                run.Cancelled ? "Stopped" : "Done", run.SectorsRead, main.DriveParams->TotalSectors, run.ReadErrors,
                preview.Staged().size(), saved, o.dest.c_str());
}

}  // namespace

int Recover(const RecoverOptions& o) {
    if (o.method != "scan") {
        std::fprintf(stderr, "error: the method \"%s\" is not available; use --method scan\n", o.method.c_str());
        return ExitUsage;
    }
    const auto choice = ChooseDrive(o.drive);
    if (choice.number == 0) return choice.exitCode;
    if (!makeDestination(o.dest)) return ExitNotSaved;

    ConsoleUI ui;
    TFrmMain main;
    main.FormCreate();
    if (!main.SelectDrive(choice.number)) {
        std::fprintf(stderr, "error: %s is not a removable, fixed, RAM or CD-ROM drive\n", o.drive.c_str());
        return ExitDriveUnavailable;
    }
    if (!main.ButtonStart.Enabled()) {
        std::fprintf(stderr, "error: %s is not ready: its size and sector size cannot be read\n", o.drive.c_str());
        return ExitDriveUnavailable;
    }
    main.EditDestPath.SetText(o.dest);
    main.EditFilenamePrefix.SetText(o.prefix);
    if (o.sectorsAtOnce > 0) main.TrackBarSecAtOnce.SetPosition(o.sectorsAtOnce);
    if (o.retries > 0) main.TrackBarRetryCount.SetPosition(o.retries);
    ui.onInterrupt = [&main] { main.ButtonCancelClick(); };

    int code = ExitOk;
    {
        TFrmPreview preview(main);
        main.FrmPreview = &preview;
        {
            ProgressLine progress(main, main.DriveParams->TotalSectors, main.DriveParams->BytesPerSector, "sector");
            main.RunScanMethod();
        }
        // The preview step is not interactive here: every file found is kept.
        if (!preview.SaveSelected()) code = ExitNotSaved;
        printReport(o, main, preview);
        if (!main.LastRun.Failure.empty()) code = ExitNotSaved;
        else if (main.LastRun.Cancelled && code == ExitOk) code = ExitCancelled;
    }
    main.ReleaseWorkFolder();
    return code;
}

}  // namespace quorvane::cli
