// libFuzzer target: the input bytes are the image of a whole volume, which the folder based method
// analyses and recovers from (fat_image_run.h). Every input gets a fresh scratch folder for the
// recovered files inside a private base folder; after the run the base folder must hold nothing but
// that scratch folder, which is then removed.
//
// A fault is reported by aborting, so that libFuzzer keeps the input: a failed check of the run
// (the image written to, a file saved outside its folder) or anything left outside the scratch
// folder. Crashes, sanitizer reports, leaks and hangs are caught by libFuzzer itself.
//
// QUORVANE_FUZZ_STATS=1 prints at exit how many inputs the file-system probe took for FAT or exFAT and how
// many mounted, so that one can tell whether the corpus reaches the engine's deeper parts.
#include "fat_image_run.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using quorvane::fuzzing::ImageFromBytes;
using quorvane::fuzzing::RunFolderMethodOnImage;

std::string BaseFolder;

struct Stats {
    unsigned long inputs = 0, probed = 0, mounted = 0, saved = 0, lost = 0;
} stats;

void RemoveBaseFolder() {
    if (std::getenv("QUORVANE_FUZZ_STATS"))
        std::fprintf(stderr, "fat_image_fuzzer: %lu inputs, %lu taken for FAT or exFAT by the probe, %lu mounted, "
                             "%lu files saved, %lu lost items listed\n",
                     stats.inputs, stats.probed, stats.mounted, stats.saved, stats.lost);
    std::error_code ec;
    if (!BaseFolder.empty()) fs::remove_all(BaseFolder, ec);
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "fat_image_fuzzer: %s\n", what.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Sector I/O start-up messages would only be noise here.
    quorvane::SetDiskMessageHook([](const std::string&, const std::string&) {});
    std::string pattern = (fs::temp_directory_path() / "quorvane-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) Fail("cannot create the base folder");
    BaseFolder = pattern;
    std::atexit(RemoveBaseFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string scratch = BaseFolder + "/run-XXXXXX";
    if (!mkdtemp(scratch.data())) Fail("cannot create the scratch folder");

    const auto result = RunFolderMethodOnImage(ImageFromBytes(data, size), scratch);
    for (const auto& problem : result.problems) Fail(problem);

    std::error_code ec;
    for (const auto& item : fs::directory_iterator(BaseFolder, ec)) {
        if (item.path() != fs::path(scratch)) Fail("written outside the scratch folder: " + item.path().string());
    }
    std::size_t files = 0;
    for (const auto& item : fs::directory_iterator(scratch, ec)) {
        if (!item.is_regular_file()) Fail("not a plain file: " + item.path().string());
        ++files;
    }
    // Every kept file is a new one: none replaced another.
    if (files != result.saved) Fail("saved " + std::to_string(result.saved) + " files, found " + std::to_string(files));
    fs::remove_all(scratch, ec);

    ++stats.inputs;
    stats.probed += result.probedAsFAT;
    stats.mounted += result.mounted;
    stats.saved += result.saved;
    stats.lost += result.lostItems;
    return 0;
}
