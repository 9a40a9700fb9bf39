#include "app/destination_check.h"
#include "app/drive_analysis.h"
#include "app/frm_fat_scan.h"
#include "app/program_folder.h"
#include "app/recoverable_drive.h"
#include "app/recovery_report.h"
#include "app/recovery_run.h"
#include "app/run_failure.h"
#include "app/ui.h"
#include "cli/commands.h"
#include "cli/console_ui.h"
#include "cli/drive_arg.h"
#include "cli/exit_codes.h"
#include "disk/ldiskio.h"
#include "support/terminal_text.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <thread>

namespace quorvane::cli {
namespace {

struct Plan {
    std::string method;  // "folder", "scan" or "both"
    bool deleted = true;
    bool lost = false;
    std::int32_t folders = -1;  // the analysis' counts, when it ran
    std::int32_t files = -1;
    std::string refusal;  // the analysis: why the folder based method cannot read the drive
    std::string destinationWarning;  // the destination lies on the drive being recovered
};

// Why the command ended before a run, on standard error or, with --json, as a report of its own.
int failEarly(const RecoverOptions& o, const std::string& message, int code) {
    if (o.json) {
        const nlohmann::json report = {{"error", message}, {"method", o.method}, {"drive", o.drive},
                                       {"destination", o.dest}, {"files", nlohmann::json::array()}};
        std::puts(report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else {
        std::fprintf(stderr, "error: %s\n", EscapeForTerminal(message, true).c_str());
    }
    return code;
}

// What a second Ctrl-C says while the run goes on: where the files found so far are.
void noteStagedFiles(const std::string& folder, const std::string& dest) {
    ConsoleUI::SetQuitNote(
        folder, "Quit at once: no files had been found; nothing was saved.",
        "Quit at once: the files found so far are in " + folder + " (not yet saved to " + dest + ").");
}

// The same while they are saved, and once they are.
void noteSavedFiles(const std::string& folder, const std::string& dest) {
    ConsoleUI::SetQuitNote(
        folder, "Quit at once: the files found were saved to " + dest + ".",
        "Quit at once: the files saved so far are in " + dest + "; the others found are in " + folder + ".");
}

// "1 file", "2 files".
std::string Counted(std::size_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// "Done", or why the run ended early.
const char* outcomeWord(const TRunReport& run) {
    if (run.FailureKind == TRunFailure::Error) return "Failed";
    return run.Cancelled || !run.Failure.empty() ? "Stopped" : "Done";
}

// The run's report: printed under --json, and written into the destination.
nlohmann::json reportJson(const RecoverOptions& o, const Plan& plan, const RecoveryRun& recovery) {
    const auto& run = recovery.Report();
    nlohmann::json report = {{"method", plan.method}, {"drive", o.drive}, {"destination", o.dest},
                             {"stopped", run.Cancelled}, {"files", StagedFilesJson(recovery.Staged())},
                             {"whole", run.Whole}, {"damaged", run.Damaged}, {"rebuilt", run.Rebuilt}};
    {
        if (plan.method != "folder") {
            report["sectors"] = run.SectorsRead;
            report["total_sectors"] = run.TotalSectors;
            report["read_errors"] = run.ReadErrors;
        }
        if (plan.method != "scan") {
            report["deleted"] = plan.deleted;
            report["lost"] = plan.lost;
        }
        if (plan.method == "both") {
            report["sectors_passed_over"] = run.SectorsPassedOver;
            if (!run.FolderPhaseSkipped.empty()) report["folder_phase_skipped"] = run.FolderPhaseSkipped;
        }
        if (!run.NotRecoverable.empty()) report["not_recoverable"] = run.NotRecoverable;
        if (!run.SameDataAs.empty()) report["same_data_as_another"] = run.SameDataAs;
        if (plan.folders >= 0) report["analysis"] = {{"folders", plan.folders}, {"files", plan.files}};
        if (!plan.refusal.empty()) report["analysis"]["folder_method_refused"] = plan.refusal;
        if (!plan.destinationWarning.empty()) report["destination_warning"] = plan.destinationWarning;
        if (!run.Failure.empty()) report["failure"] = run.Failure;
        // A run that did not start has nothing else to tell.
        if (IsRefusal(run.FailureKind)) report["error"] = run.Failure;
    }
    return report;
}

void printReport(const RecoverOptions& o, const Plan& plan, const RecoveryRun& recovery) {
    const auto& run = recovery.Report();
    const auto& staged = recovery.Staged().Files();
    if (o.json) {
        std::puts(reportJson(o, plan, recovery).dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return;
    }
    int saved = 0;
    for (const auto& f : staged) {
        if (f.SavedAs.empty()) continue;
        ++saved;
        std::printf("%s  (%llu bytes, %s)\n", EscapeForTerminal(f.SavedAs).c_str(),
                    static_cast<unsigned long long>(f.Size),
                    std::string(ConditionName(f.Condition)).c_str());
    }
    for (const auto& name : run.NotRecoverable)
        std::printf("not recoverable: %s (its data is no longer on the card)\n", EscapeForTerminal(name).c_str());
    for (const auto& name : run.SameDataAs)
        std::printf("not copied again: %s (the same data as a file saved above)\n", EscapeForTerminal(name).c_str());
    std::string how = plan.method == "scan"     ? "scan method"
                      : plan.method == "both" ? "folder based and scan methods"
                                              : "folder based method";
    // "183 files, 179 whole, 4 damaged": how many came back whole, when they were checked.
    std::string found = Counted(staged.size(), "file") + " found";
    if (o.check && !staged.empty()) {
        found += ", " + std::to_string(run.Whole) + " whole, " + std::to_string(run.Damaged) + " damaged";
        const auto unknown = static_cast<std::int64_t>(staged.size()) - run.Whole - run.Damaged;
        if (unknown > 0) found += ", " + std::to_string(unknown) + " not known";
        if (run.Rebuilt > 0) found += " (" + std::to_string(run.Rebuilt) + " rebuilt from pieces)";
    }
    const bool scanAlone = plan.method == "both" && !run.FolderPhaseSkipped.empty();
    if (scanAlone) {
        // Said once: the analysis has said it already when it found the same.
        if (run.FolderPhaseSkipped != plan.refusal) {
            std::printf("%s\n", EscapeForTerminal(run.FolderPhaseSkipped, true).c_str());
        }
        how = "scan method";
    }
    if (plan.method != "folder") {
        if (plan.method == "both" && !scanAlone) {
            how += std::string(plan.deleted ? ", deleted files" : "") + (plan.lost ? ", lost files" : "");
        }
        std::printf("%s (%s): %llu of %llu sectors read, %d read errors, %s, %d saved to %s\n", outcomeWord(run),
                    how.c_str(), static_cast<unsigned long long>(run.SectorsRead),
                    static_cast<unsigned long long>(run.TotalSectors), run.ReadErrors, found.c_str(), saved,
                    o.dest.c_str());
    } else {
        std::printf("%s (%s%s%s): %s, %d saved to %s\n", outcomeWord(run), how.c_str(),
                    plan.deleted ? ", deleted files" : "", plan.lost ? ", lost files" : "", found.c_str(), saved,
                    o.dest.c_str());
    }
}

// Runs the drive analysis and applies its proposal (for the combined run: which entries to
// recover, the method staying both). False when it was cancelled.
bool analyse(TFrmFATScan& scanDriver, std::uint8_t drive, const std::string& driveName, ConsoleUI& ui, Plan& plan) {
    DriveAnalysis analysis(scanDriver, drive, driveName);
    ui.onInterrupt = [&] { analysis.Cancel(); };
    std::fputs("Analyzing drive...\n", stderr);
    const TDriveAnalysisResult result = analysis.Run();
    ui.onInterrupt = nullptr;
    if (result.Cancelled) return false;
    plan.folders = result.Folders;
    plan.files = result.Files;
    const char* proposed = result.Proposal.Method == TRecoveryMethod::Folder ? "folder" : "scan";
    // The combined run recovers the deleted files, and looks for lost ones where the analysis
    // would (a formatted or damaged card).
    plan.deleted = plan.method == "both" || result.Proposal.RecoverDeleted;
    plan.lost = result.Proposal.LookForLost;
    if (plan.method != "both") plan.method = proposed;
    plan.refusal = result.FolderMethodRefusal;
    if (!plan.refusal.empty()) std::fprintf(stderr, "%s\n", EscapeForTerminal(plan.refusal, true).c_str());
    std::fprintf(stderr, "%s, %s: %s method proposed\n", FoldersFoundText(result.Folders).c_str(),
                 FilesFoundText(result.Files).c_str(), std::string_view(proposed) == "folder" ? "folder based" : "scan");
    return true;
}

// How the run's failures reach the user while it goes on. A refusal to start is an error of its
// own, printed by Recover without a report.
void reportFailure(TRunFailure kind, const std::string& text) {
    switch (kind) {
        case TRunFailure::NotReady:
        case TRunFailure::NoSectors:
        case TRunFailure::NotReadable:
        case TRunFailure::NotMounted:
            return;
        case TRunFailure::NoWorkFolder:
            ShowRefusal(text);
            return;
        case TRunFailure::Error:
            UI().MessageBox(text, "", MsgIcon::Error, MsgButtons::Ok, MsgResult::Ok);
            return;
        default:
            ShowWarning(text);
    }
}

// The sector named by a test hook's variable, when it is set.
std::optional<std::uint64_t> hookSector(const char* variable) {
    const char* at = std::getenv(variable);
    if (at == nullptr || *at == '\0') return std::nullopt;
    return std::strtoull(at, nullptr, 10);
}

// Test hooks of the scan method's reads, so the tests can see how the program ends a run:
// with QUORVANE_TEST_THROW_AT_SECTOR=N the read of sector N throws (a run that fails inside);
// with QUORVANE_TEST_STALL_AT_SECTOR=N it hangs for a minute (a card that stops answering,
// where a user presses Ctrl-C twice).
void installTestHooks(RecoveryRun& run) {
    const auto throwAt = hookSector("QUORVANE_TEST_THROW_AT_SECTOR");
    const auto stallAt = hookSector("QUORVANE_TEST_STALL_AT_SECTOR");
    if (!throwAt && !stallAt) return;
    run.ReadSectors = [throwAt, stallAt](std::uint8_t drive, std::uint64_t lba, std::uint16_t count, void* buffer) {
        const auto covers = [&](std::optional<std::uint64_t> sector) {
            return sector && lba <= *sector && *sector - lba < count;
        };
        if (covers(throwAt)) {
            throw std::runtime_error("the read of sector " + std::to_string(*throwAt) + " was made to fail");
        }
        if (covers(stallAt)) std::this_thread::sleep_for(std::chrono::minutes(1));
        return ReadLogicalSectors64(drive, lba, count, buffer);
    };
}

}  // namespace

int Recover(const RecoverOptions& o) {
    // A folder that cannot take the files is refused before the drive is even opened.
    if (const std::string refusal = DestinationRefusal(o.dest); !refusal.empty()) {
        return failEarly(o, refusal, ExitNotSaved);
    }
    const auto choice = ChooseDrive(o.drive);
    if (choice.number == 0) return choice.exitCode;
    const TDestinationCheck destination = CheckDestination(o.dest, choice.number, o.drive);
    if (destination.Verdict == TDestinationVerdict::Refused) return failEarly(o, destination.Message, ExitNotSaved);
    if (destination.Verdict == TDestinationVerdict::OnRecoveredDrive) {
        // The user asked for it and may know better (a volume with room to spare); the files are
        // staged in the temporary folder and saved to the destination once the drive has been read.
        std::fprintf(stderr, "warning: %s\n", EscapeForTerminal(destination.Message, true).c_str());
    }
    if (std::string error; !MakeDestinationFolder(o.dest, error)) {
        return failEarly(o, "cannot use " + o.dest + " as the destination folder: " + error, ExitNotSaved);
    }

    ConsoleUI ui;
    // Made first, as the window makes it at its start: it serves the FAT engine and sets the
    // disk access option.
    TFrmFATScan scanDriver;
    if (!IsRecoverableDrive(choice.number)) {
        return failEarly(o, o.drive + " is not a removable, fixed, RAM or CD-ROM drive", ExitDriveUnavailable);
    }
    TLogDriveParams params;
    if (!GetLogDriveParams(choice.number, params)) return failEarly(o, NotReadyText(o.drive), ExitDriveUnavailable);

    Plan plan;
    plan.method = o.method;
    plan.destinationWarning = destination.Verdict == TDestinationVerdict::OnRecoveredDrive ? destination.Message : "";
    if ((o.method == "auto" || o.method == "both") && !analyse(scanDriver, choice.number, o.drive, ui, plan)) {
        std::fputs("Stopped during the analysis; nothing was recovered.\n", stderr);
        return ExitCancelled;
    }
    if (o.deleted >= 0) plan.deleted = o.deleted != 0;
    if (o.lost >= 0) plan.lost = o.lost != 0;

    TRecoveryPlan runPlan;
    runPlan.Drive = choice.number;
    runPlan.DriveName = o.drive;
    runPlan.Method = plan.method == "folder" ? TRecoveryMethod::Folder
                     : plan.method == "both" ? TRecoveryMethod::Both
                                             : TRecoveryMethod::Scan;
    runPlan.RecoverDeleted = plan.deleted;
    runPlan.LookForLost = plan.lost;
    runPlan.Prefix = o.prefix;
    runPlan.SectorsAtOnce = o.sectorsAtOnce;
    runPlan.RetryCount = o.retries;
    runPlan.CheckContent = o.check;
    runPlan.StagingParent = destination.StagingParent;
    RecoveryRun run(runPlan, {&scanDriver, nullptr});
    installTestHooks(run);
    run.Events.OnFailure = reportFailure;
    ui.onInterrupt = [&run] { run.Cancel(); };
    {
        const bool clusters = runPlan.Method != TRecoveryMethod::Scan;
        ProgressLine progress(run, clusters ? 0 : params.BytesPerSector, clusters ? "cluster" : "sector");
        auto shownPhase = run.Events.OnPhase;
        run.Events.OnPhase = [&run, &o, &progress, &params, shownPhase](TRunPhase phase, TProgressUnit unit) {
            if (phase == TRunPhase::Running) noteStagedFiles(run.WorkFolder(), o.dest);
            if (unit == TProgressUnit::Sector) progress.SetUnit(params.BytesPerSector, "sector");
            if (shownPhase) shownPhase(phase, unit);
        };
        run.Run();
    }
    const TRunReport& report = run.Report();
    // The drive cannot be used by this method: nothing was found, nothing is saved.
    if (IsRefusal(report.FailureKind) && report.FailureKind != TRunFailure::NoWorkFolder) {
        if (o.json) {
            printReport(o, plan, run);
        } else {
            std::fprintf(stderr, "error: %s\n", EscapeForTerminal(report.Failure, true).c_str());
        }
        return ExitDriveUnavailable;
    }

    // The preview step is not interactive here: every file found is kept.
    int code = ExitOk;
    if (!run.WorkFolder().empty()) noteSavedFiles(run.WorkFolder(), o.dest);
    const TSaveOutcome saved = run.Staged().SaveSelected(o.dest, o.prefix, o.keepNames);
    if (saved.Failed > 0) {
        ShowWarning(saved.Warning);
        code = ExitNotSaved;
    }
    if (run.Staged().SavedCount() > 0) {
        std::string error;
        if (!WriteRecoveryReport(o.dest, reportJson(o, plan, run), error)) ShowWarning(error);
    }
    printReport(o, plan, run);
    if (report.FailureKind == TRunFailure::Error) {
        code = ExitRunFailed;
    } else if (!report.Failure.empty()) {
        code = ExitNotSaved;
    } else if (report.Cancelled && code == ExitOk) {
        code = ExitCancelled;
    }
    run.Staged().DeleteStagedFiles();
    return code;
}

int Analyze(const std::string& drive, bool json) {
    const auto choice = ChooseDrive(drive);
    if (choice.number == 0) return choice.exitCode;
    ConsoleUI ui;
    TFrmFATScan scanDriver;
    DriveAnalysis analysis(scanDriver, choice.number, drive);
    ui.onInterrupt = [&] { analysis.Cancel(); };
    const TDriveAnalysisResult result = analysis.Run();
    if (result.Cancelled) return ExitCancelled;
    const bool folder = result.Proposal.Method == TRecoveryMethod::Folder;
    if (json) {
        nlohmann::json j = {{"folders", result.Folders},
                            {"files", result.Files},
                            {"proposed", folder ? "folder" : "scan"},
                            {"recover_deleted", result.Proposal.RecoverDeleted},
                            {"look_for_lost", result.Proposal.LookForLost}};
        if (!result.FolderMethodRefusal.empty()) j["folder_method_refused"] = result.FolderMethodRefusal;
        std::puts(j.dump(2).c_str());
    } else {
        if (!result.FolderMethodRefusal.empty()) {
            std::printf("%s\n", EscapeForTerminal(result.FolderMethodRefusal, true).c_str());
        }
        std::printf("%s\n%s\nProposed: %s\n", FoldersFoundText(result.Folders).c_str(),
                    FilesFoundText(result.Files).c_str(), folder ? "folder based method" : "scan method");
    }
    return ExitOk;
}

}  // namespace quorvane::cli
