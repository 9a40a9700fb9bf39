// quorvane-cli: recovers pictures, sounds and films from FAT cards, sticks and images.
#include "cli/commands.h"
#include "cli/exit_codes.h"

#include <CLI/CLI.hpp>
#include <clocale>
#include <cstdio>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");  // reports and JSON use '.' as the decimal point
    using namespace quorvane::cli;

    CLI::App app{"Quorvane: gets pictures, sounds and films back from FAT12/16/32 cards, sticks and disk images.\n"
                 "DRIVE is a letter from 'list' (E:), a block device (/dev/sdb1) or an image file (card.img).\n"
                 "PATH@N names partition N of an image or whole disk (card.img@2, /dev/sdb@1); @0 the whole of it.\n"
                 "An image or disk with a partition table named without @N is read through its first FAT partition."};
    bool showVersion = false;
    app.add_flag("--version", showVersion, "Show the version and the legal notice (as 'version' does)");
    // --version alone needs no subcommand.
    app.require_subcommand(0, 1);

    bool listJson = false;
    std::vector<std::string> listPaths;
    auto* list = app.add_subcommand("list", "List the drives: letter, path, kind, size, file system");
    list->add_option("PATH", listPaths, "Images or disks to list with their partitions (number, start, size, file system)");
    list->add_flag("--json", listJson, "Print the list as JSON");

    std::string infoDrive;
    bool infoJson = false;
    auto* info = app.add_subcommand("info", "Show a drive's media kind, capacity and sector size");
    info->add_option("DRIVE", infoDrive, "Drive letter, block device or image file, PATH@N for a partition")->required();
    info->add_flag("--json", infoJson, "Print the details as JSON");

    std::string analyzeDrive;
    bool analyzeJson = false;
    auto* analyze = app.add_subcommand("analyze", "Count the deleted folders and files and propose a method");
    analyze->add_option("DRIVE", analyzeDrive, "Drive letter, block device or image file, PATH@N for a partition")->required();
    analyze->add_flag("--json", analyzeJson, "Print the counts as JSON");

    RecoverOptions rec;
    auto* recover = app.add_subcommand("recover", "Recover the files of a drive into a folder");
    recover->add_option("DRIVE", rec.drive, "Drive letter, block device or image file, PATH@N for a partition")->required();
    recover->add_option("--dest,-d", rec.dest, "Folder that receives the recovered files (created when missing)")->required();
    recover
        ->add_option("--method,-m", rec.method,
                     "both: the folder based method, then the scan of every sector its files do not hold; auto: "
                     "analyse the drive and take the proposed method; folder: the FAT file system's deleted "
                     "(and lost) entries; scan: every sector for picture, sound and film starts")
        ->check(CLI::IsMember({"both", "auto", "folder", "scan"}))
        ->capture_default_str();
    auto* deleted = recover->add_flag_callback("--deleted", [&rec] { rec.deleted = 1; }, "Folder based method: recover the deleted files (default: as proposed)");
    auto* noDeleted = recover->add_flag_callback("--no-deleted", [&rec] { rec.deleted = 0; }, "Folder based method: leave the deleted files out");
    auto* lost = recover->add_flag_callback("--lost", [&rec] { rec.lost = 1; }, "Folder based method: look for lost files in the data area (default: as proposed)");
    auto* noLost = recover->add_flag_callback("--no-lost", [&rec] { rec.lost = 0; }, "Folder based method: do not look for lost files");
    // A flag and its opposite together say nothing the program could follow.
    deleted->excludes(noDeleted);
    lost->excludes(noLost);
    recover->add_option("--prefix,-p", rec.prefix, "Name prefix of the saved files")->capture_default_str();
    recover->add_option("--sectors-at-once", rec.sectorsAtOnce,
                        "Sectors read at once, 1 to 2,047,999 / sector size (default: a hundredth of the drive)")
        ->check(CLI::Range(1, 3999));
    recover->add_option("--retries", rec.retries, "Read attempts per block before a sector is skipped, 1 to 20 (default 1)")
        ->check(CLI::Range(1, 20));
    recover->add_flag("--json", rec.json, "Print a report as JSON on standard output");
    recover->add_flag("--keep-names", rec.keepNames,
                      "Save the files that have a name on the card under that name, inside their folders "
                      "(carved files keep prefix + number)");
    recover->add_flag_callback("--no-check", [&rec] { rec.check = false; },
                               "Do not check the recovered files whole or damaged (faster; their condition is unknown)");

    auto* version = app.add_subcommand("version", "Show the version and the legal notice");

    UpdateOptions upd;
    auto* update = app.add_subcommand(
        "update", "Update Quorvane from the update server named in Quorvane.ini (signed, over https only); "
                  "not as root, and not a copy installed by a package");
    update->add_flag("--check", upd.checkOnly, "Only say whether a newer version exists, and what is new");
    update->add_flag("--accept-licence", upd.acceptLicence, "Accept the licence that comes with the update");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? ExitOk : ExitUsage;
    }

    if (version->parsed() || showVersion) return PrintVersion();
    if (app.get_subcommands().empty()) {
        std::fputs("A command is required (list, info, analyze, recover, update, version)\nRun with --help for more information.\n",
                   stderr);
        return ExitUsage;
    }
    // The scan method reads no directory entries: what to do with deleted or lost ones does not apply.
    if (recover->parsed() && rec.method == "scan" && (rec.deleted >= 0 || rec.lost >= 0)) {
        std::fputs("--deleted, --no-deleted, --lost and --no-lost choose what the folder based method recovers; "
                   "the scan method reads every sector and has no such choice.\nRun with --help for more information.\n",
                   stderr);
        return ExitUsage;
    }
    if (list->parsed()) return ListDrives(listPaths, listJson);
    if (info->parsed()) return ShowInfo(infoDrive, infoJson);
    if (analyze->parsed()) return Analyze(analyzeDrive, analyzeJson);
    if (recover->parsed()) return Recover(rec);
    if (update->parsed()) return Update(upd);
    return ExitUsage;
}
