#include "app/frm_analyze_drive.h"
#include "app/frm_fat_scan.h"
#include "app/frm_main.h"
#include "app/frm_preview.h"
#include "app/program_folder.h"
#include "cli/commands.h"
#include "cli/console_ui.h"
#include "cli/drive_arg.h"
#include "cli/exit_codes.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace quorvane::cli {
namespace {

bool makeDestination(const std::string& dest) {
    std::string error;
    if (MakeDestinationFolder(dest, error)) return true;
    std::fprintf(stderr, "error: cannot use %s as the destination folder: %s\n", dest.c_str(), error.c_str());
    return false;
}

struct Plan {
    std::string method;  // "folder" or "scan"
    bool deleted = true;
    bool lost = false;
    std::int32_t folders = -1;  // the analysis' counts, when it ran
    std::int32_t files = -1;
};

void printReport(const RecoverOptions& o, const Plan& plan, const TFrmMain& main, const TFrmPreview& preview) {
    const auto& run = main.LastRun;
    if (o.json) {
        auto files = nlohmann::json::array();
        for (const auto& f : preview.Staged()) {
            nlohmann::json file = {{"staged", f.Path},
                                   {"saved", f.SavedAs.empty() ? nlohmann::json() : nlohmann::json(f.SavedAs)},
                                   {"size", f.Size}};
            if (!f.SaveError.empty()) file["error"] = f.SaveError;
            files.push_back(std::move(file));
        }
        nlohmann::json report = {{"method", plan.method}, {"drive", o.drive}, {"destination", o.dest},
                                 {"stopped", run.Cancelled}, {"files", std::move(files)}};
        if (plan.method == "scan") {
            report["sectors"] = run.SectorsRead;
            report["total_sectors"] = main.DriveParams->TotalSectors;
            report["read_errors"] = run.ReadErrors;
        } else {
            report["deleted"] = plan.deleted;
            report["lost"] = plan.lost;
        }
        if (plan.folders >= 0) report["analysis"] = {{"folders", plan.folders}, {"files", plan.files}};
        if (!run.Failure.empty()) report["failure"] = run.Failure;
        std::puts(report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return;
    }
    int saved = 0;
    for (const auto& f : preview.Staged()) {
        if (f.SavedAs.empty()) continue;
        ++saved;
        std::printf("%s  (%llu bytes)\n", f.SavedAs.c_str(), static_cast<unsigned long long>(f.Size));
    }
    std::string how = plan.method == "scan" ? "scan method" : "folder based method";
    if (plan.method == "scan") {
        std::printf("%s (%s): %u of %u sectors read, %d read errors, %zu files found, %d saved to %s\n",
                    run.Cancelled ? "Stopped" : "Done", how.c_str(), run.SectorsRead, main.DriveParams->TotalSectors,
                    run.ReadErrors, preview.Staged().size(), saved, o.dest.c_str());
    } else {
        std::printf("%s (%s%s%s): %zu files found, %d saved to %s\n", run.Cancelled ? "Stopped" : "Done", how.c_str(),
                    plan.deleted ? ", deleted files" : "", plan.lost ? ", lost files" : "", preview.Staged().size(),
                    saved, o.dest.c_str());
    }
}

// Runs the drive analysis and applies its proposal. False when it was cancelled.
bool analyse(TFrmMain& main, ConsoleUI& ui, Plan& plan) {
    TFrmAnalyzeDrive dialog(*main.ScanDriver, main.DriveNumber);
    ui.onInterrupt = [&] { dialog.ButtonCancelClick(); };
    std::fputs("Analyzing drive...\n", stderr);
    dialog.FormShow();
    dialog.AnalyzeTimerTimer();
    ui.onInterrupt = nullptr;
    if (dialog.Cancelled) return false;
    plan.folders = dialog.Folders;
    plan.files = dialog.Files;
    plan.method = dialog.RBFolderMethod.Checked() ? "folder" : "scan";
    plan.deleted = dialog.CBRecoverDeletedFiles.Checked();
    plan.lost = dialog.CBRecoverLostFiles.Checked();
    std::fprintf(stderr, "%s, %s: %s method proposed\n", dialog.LabelTotalFolders.Caption().c_str(),
                 dialog.LabelTotalDeletedFiles.Caption().c_str(), plan.method == "folder" ? "folder based" : "scan");
    return true;
}

}  // namespace

int Recover(const RecoverOptions& o) {
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

    Plan plan;
    plan.method = o.method;
    if (o.method == "auto" && !analyse(main, ui, plan)) {
        std::fputs("Stopped during the analysis; nothing was recovered.\n", stderr);
        return ExitCancelled;
    }
    if (o.deleted >= 0) plan.deleted = o.deleted != 0;
    if (o.lost >= 0) plan.lost = o.lost != 0;
    if (plan.method == "scan" && main.DriveParams->TotalSectors == 0) {
        std::fprintf(stderr, "error: %s has no sectors\n", o.drive.c_str());
        return ExitDriveUnavailable;
    }

    ui.onInterrupt = [&main] { main.ButtonCancelClick(); };
    int code = ExitOk;
    {
        TFrmPreview preview(main);
        main.FrmPreview = &preview;
        if (plan.method == "folder") {
            ProgressLine progress(main, 0, "cluster");
            main.RunFolderMethod(plan.deleted, plan.lost);
        } else {
            ProgressLine progress(main, main.DriveParams->BytesPerSector, "sector");
            main.RunScanMethod();
        }
        // The preview step is not interactive here: every file found is kept.
        if (!preview.SaveSelected()) code = ExitNotSaved;
        printReport(o, plan, main, preview);
        if (!main.LastRun.Failure.empty()) code = ExitNotSaved;
        else if (main.LastRun.Cancelled && code == ExitOk) code = ExitCancelled;
    }
    main.ReleaseWorkFolder();
    return code;
}

int Analyze(const std::string& drive, bool json) {
    const auto choice = ChooseDrive(drive);
    if (choice.number == 0) return choice.exitCode;
    ConsoleUI ui;
    TFrmMain main;
    main.FormCreate();
    TFrmAnalyzeDrive dialog(*main.ScanDriver, choice.number);
    ui.onInterrupt = [&] { dialog.ButtonCancelClick(); };
    dialog.FormShow();
    dialog.AnalyzeTimerTimer();
    if (dialog.Cancelled) return ExitCancelled;
    const bool folder = dialog.RBFolderMethod.Checked();
    if (json) {
        nlohmann::json j = {{"folders", dialog.Folders},
                            {"files", dialog.Files},
                            {"proposed", folder ? "folder" : "scan"},
                            {"recover_deleted", dialog.CBRecoverDeletedFiles.Checked()},
                            {"look_for_lost", dialog.CBRecoverLostFiles.Checked()}};
        std::puts(j.dump(2).c_str());
    } else {
        std::printf("%s\n%s\nProposed: %s\n", dialog.LabelTotalFolders.Caption().c_str(),
                    dialog.LabelTotalDeletedFiles.Caption().c_str(),
                    folder ? "folder based method" : "scan method");
    }
    return ExitOk;
}

}  // namespace quorvane::cli
