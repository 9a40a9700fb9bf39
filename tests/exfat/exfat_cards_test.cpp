// exFAT cards made with mkfs.exfat and written through exfat-fuse, recovered by quorvane-cli as a
// user would: deleted photos from nested folders at several cluster sizes, old folders after a
// quick format, a card whose main boot region is damaged, the analysis' counts and the combined
// run.
#include "exfat_card.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int exitCode = -1;
    std::string out;
};

CliRun RunCli(const std::string& Args, const fs::path& Dir) {
    const std::string command = "cd '" + Dir.string() + "' && TMPDIR='" + Dir.string() +
                                "' '" QUORVANE_BINARY_DIR "/quorvane-cli' " + Args + " 2>&1";
    CliRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The report's files by their path on the card.
std::map<std::string, nlohmann::json> FilesByPath(const fs::path& Report) {
    std::ifstream in(Report);
    const nlohmann::json report = nlohmann::json::parse(in, nullptr, false);
    std::map<std::string, nlohmann::json> files;
    if (report.is_discarded()) return files;
    for (const auto& f : report["files"]) files[f.value("original_path", "")] = f;
    return files;
}

// How many regular files under Folder hold the same bytes as Original.
int CopiesOf(const fs::path& Original, const fs::path& Folder) {
    int copies = 0;
    for (const auto& e : fs::recursive_directory_iterator(Folder)) {
        if (e.is_regular_file() && e.path().filename() != "recovery-report.json" && SameBytes(e.path(), Original))
            ++copies;
    }
    return copies;
}

class ExFATCards : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ExFATCard::Unavailable().empty())
            GTEST_SKIP() << "exFAT cards cannot be made: " << ExFATCard::Unavailable();
    }
};

// Live photos, photos deleted from nested folders, a photo deleted from the middle of the card
// that a later one's chain ran through, and a folder deleted with its photo.
struct CardContent {
    std::vector<std::string> live, deleted;
};

CardContent FillCard(ExFATCard& Card) {
    Card.Photo("DCIM/100CANON/IMG_0001.JPG", 1);
    Card.Photo("DCIM/100CANON/IMG_0002.JPG", 2);
    Card.Photo("DCIM/100CANON/IMG_0003.JPG", 3);
    Card.Photo("DCIM/101CANON/Ünïcode photo with a name over two entries.jpg", 4, 300, 200);
    Card.Photo("DCIM/101CANON/写真 0001.jpg", 9, 300, 200);
    Card.Photo("DCIM/102CANON/Trip/Day 1/IMG_0100.JPG", 5);
    // The big photo fills the hole the filler leaves and goes on after the next photo: its FAT
    // chain has a gap, and it is deleted.
    Card.Folder("DCIM/103CANON");
    Card.Run("head -c 70000 /dev/urandom > mnt/DCIM/103CANON/filler.bin");
    Card.Photo("DCIM/103CANON/IMG_0200.JPG", 6);
    Card.Remove("DCIM/103CANON/filler.bin");
    Card.Photo("DCIM/103CANON/BIG_0001.JPG", 7, 1000, 750);
    Card.Photo("OLD/IMG_9000.JPG", 8);
    Card.Remove("DCIM/100CANON/IMG_0002.JPG");
    Card.Remove("DCIM/101CANON/Ünïcode photo with a name over two entries.jpg");
    Card.Remove("DCIM/101CANON/写真 0001.jpg");
    Card.Remove("DCIM/102CANON/Trip/Day 1/IMG_0100.JPG");
    Card.Remove("DCIM/103CANON/BIG_0001.JPG");
    Card.Remove("OLD");
    return {{"DCIM/100CANON/IMG_0001.JPG", "DCIM/100CANON/IMG_0003.JPG", "DCIM/103CANON/IMG_0200.JPG"},
            {"DCIM/100CANON/IMG_0002.JPG", "DCIM/101CANON/Ünïcode photo with a name over two entries.jpg",
             "DCIM/101CANON/写真 0001.jpg",
             "DCIM/102CANON/Trip/Day 1/IMG_0100.JPG", "DCIM/103CANON/BIG_0001.JPG", "OLD/IMG_9000.JPG"}};
}

TEST_F(ExFATCards, DeletedPhotosComeBackByteExactUnderTheirNamesAtSeveralClusterSizes) {
    struct Case {
        const char* clusters;
        std::uint32_t mib;
    };
    for (const Case c : {Case{"4K", 32}, Case{"128K", 64}}) {
        SCOPED_TRACE(c.clusters);
        ExFATCard card;
        card.Format(c.mib, c.clusters);
        card.Attach();
        const CardContent content = FillCard(card);
        card.Detach();

        // The drive list names the volume's file system.
        const auto info = RunCli("info card.img", card.Dir);
        EXPECT_NE(info.out.find("File system:  exFAT, label CARD"), std::string::npos) << info.out;

        const auto analyze = RunCli("analyze card.img", card.Dir);
        EXPECT_EQ(analyze.exitCode, 0) << analyze.out;
        // Folders as on FAT: the live ones, then every one the deleted files' walk passes (the
        // deleted OLD too).
        EXPECT_NE(analyze.out.find("Found 15 deleted folders"), std::string::npos) << analyze.out;
        EXPECT_NE(analyze.out.find("Found 6 deleted files"), std::string::npos) << analyze.out;
        EXPECT_NE(analyze.out.find("Proposed: folder based method"), std::string::npos) << analyze.out;

        const auto run = RunCli("recover card.img --method folder --keep-names --no-check --dest out", card.Dir);
        ASSERT_EQ(run.exitCode, 0) << run.out;
        const auto files = FilesByPath(card.Dir / "out" / "recovery-report.json");
        EXPECT_EQ(files.size(), content.deleted.size()) << run.out;
        for (const auto& path : content.deleted) {
            SCOPED_TRACE(path);
            EXPECT_TRUE(SameBytes(card.Dir / "out" / path, card.Original(path))) << run.out;
        }
        for (const auto& path : content.live) EXPECT_FALSE(fs::exists(card.Dir / "out" / path)) << path;
    }
}

TEST_F(ExFATCards, TheCombinedRunCarvesOnlyWhatTheFolderMethodLeft) {
    ExFATCard card;
    card.Format(32, "4K");
    card.Attach();
    const CardContent content = FillCard(card);
    card.Detach();

    const auto run = RunCli("recover card.img --method both --keep-names --no-check --dest out", card.Dir);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    // Each deleted photo once, under its name; the live ones carved by the scan, once each: the
    // scan passed over the sectors the folder method's files were read from.
    for (const auto& path : content.deleted) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(SameBytes(card.Dir / "out" / path, card.Original(path)));
        EXPECT_EQ(CopiesOf(card.Original(path), card.Dir / "out"), 1);
    }
    for (const auto& path : content.live) EXPECT_EQ(CopiesOf(card.Original(path), card.Dir / "out"), 1) << path;
}

TEST_F(ExFATCards, AfterAQuickFormatTheOldFoldersComeBackAsLostFolders) {
    ExFATCard card;
    card.Format(32, "4K");
    card.Attach();
    card.Photo("DCIM/100CANON/IMG_0001.JPG", 11);
    card.Photo("DCIM/100CANON/IMG_0002.JPG", 12);
    card.Photo("DCIM/101CANON/IMG_0101.JPG", 13);
    card.Photo("DCIM/101CANON/IMG_0102.JPG", 14);
    card.Remove("DCIM/101CANON/IMG_0102.JPG");  // deleted before the format: its entry set remains
    card.Detach();
    card.Format(32, "4K", "NEWCARD");

    const auto run = RunCli("recover card.img --method folder --lost --keep-names --no-check --dest out", card.Dir);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const auto files = FilesByPath(card.Dir / "out" / "recovery-report.json");
    for (const std::string path :
         {"100CANON/IMG_0001.JPG", "100CANON/IMG_0002.JPG", "101CANON/IMG_0101.JPG", "101CANON/IMG_0102.JPG"}) {
        SCOPED_TRACE(path);
        // Under the lost folder that the old DCIM folder became ("cluster N/100CANON/...").
        const auto found = std::find_if(files.begin(), files.end(), [&](const auto& f) {
            return f.first.size() > path.size() && f.first.rfind("cluster ", 0) == 0 &&
                   f.first.compare(f.first.size() - path.size(), path.size(), path) == 0;
        });
        ASSERT_NE(found, files.end()) << run.out;
        EXPECT_TRUE(SameBytes(card.Dir / "out" / found->first, card.Original("DCIM/" + path)));
    }
}

TEST_F(ExFATCards, ADamagedMainBootRegionIsReadFromTheBackup) {
    ExFATCard card;
    card.Format(32, "4K");
    card.Attach();
    card.Photo("DCIM/100CANON/IMG_0001.JPG", 21);
    card.Photo("DCIM/100CANON/IMG_0002.JPG", 22);
    card.Remove("DCIM/100CANON/IMG_0002.JPG");
    card.Detach();
    fs::copy_file(card.Image(), card.Dir / "both.img");
    // The main boot sector's cluster heap offset and cluster count overwritten: its checksum no
    // longer holds, and its geometry would read the wrong sectors.
    card.Run("printf '\\000\\001\\000\\000\\167\\167\\000\\000' | dd of=card.img bs=1 seek=88 conv=notrunc");
    const auto run = RunCli("recover card.img --method folder --keep-names --no-check --dest out", card.Dir);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_TRUE(SameBytes(card.Dir / "out/DCIM/100CANON/IMG_0002.JPG", card.Original("DCIM/100CANON/IMG_0002.JPG")))
        << run.out;

    // Both regions damaged: the run fails plainly instead of reading garbage.
    card.Run(
        "printf '\\000\\000\\000\\000' | dd of=both.img bs=1 seek=88 conv=notrunc && "
        "printf '\\000\\000\\000\\000' | dd of=both.img bs=1 seek=$((12*512+88)) conv=notrunc");
    const auto failed = RunCli("recover both.img --method folder --no-check --dest out2", card.Dir);
    EXPECT_NE(failed.exitCode, 0) << failed.out;
    EXPECT_NE(failed.out.find("both.img cannot be mounted; the scan method can still recover its pictures"),
              std::string::npos)
        << failed.out;
    EXPECT_EQ(failed.out.find("Done"), std::string::npos) << failed.out;
}

}  // namespace
}  // namespace quorvane::testing
