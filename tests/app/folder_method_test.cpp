// The folder based method through the main window, on cards written by mkfs.fat and mtools.
#include "app/frm_analyze_drive.h"
#include "app/frm_fat_scan.h"
#include "app/frm_main.h"
#include "app/frm_preview.h"
#include "app/recovery_run.h"
#include "platform/drive_table.h"
#include "scan_card.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

Bytes photo(std::size_t size, int seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>((i * 131 + static_cast<std::size_t>(seed) * 17) % 251);
    b[0] = 0xFF, b[1] = 0xD8, b[2] = 0xFF, b[3] = 0xE0;
    return b;
}

class ToolCard {
public:
    // format: the mkfs.fat options and size of the new card.
    explicit ToolCard(const std::string& format = "-F 16 -s 4 card.img 16384") {
        dir = fs::temp_directory_path() / ("quorvane-folder-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        run("mkfs.fat -C --invariant -n CARD " + format);
    }
    ~ToolCard() { fs::remove_all(dir); }
    void run(const std::string& command) {
        const std::string cmd = "cd '" + dir.string() + "' && SOURCE_DATE_EPOCH=1700000000 MTOOLS_SKIP_CHECK=1 " + command +
                                " >>tools.log 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << command;
    }
    void put(const std::string& path, const Bytes& data) {
        std::ofstream(dir / "upload.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        run("mcopy -o -i card.img upload.bin '::" + path + "'");
    }
    std::uint8_t drive() {
        std::string error;
        const auto added = DriveTable::instance().addPath((dir / "card.img").string(), error);
        return added.empty() ? 0 : added.front();
    }
    fs::path dir;
};

struct FolderRun {
    std::vector<std::string> names;
    std::vector<Bytes> files;
    int imagesFound = 0;
    TRunReport report;
    // Each new caption of the window's position label with the status shown at that moment.
    std::vector<std::pair<std::string, std::string>> positionLabels;
};

FolderRun recover(std::uint8_t drive, bool deleted, bool lost, TRecoveryMethod method = TRecoveryMethod::Folder) {
    FolderRun out;
    TFrmMain main;
    main.FormCreate();
    EXPECT_TRUE(main.SelectDrive(drive));
    TFrmPreview preview(main);
    main.FrmPreview = &preview;
    main.LabelCurrSec.onChanged = [&](const TControl&) {
        out.positionLabels.emplace_back(main.LabelCurrSec.Caption(), main.LabelInfoStatus.Caption());
    };
    if (method == TRecoveryMethod::Both) {
        main.RunBothMethods(deleted, lost);
    } else {
        main.RunFolderMethod(deleted, lost);
    }
    main.LabelCurrSec.onChanged = nullptr;
    for (const auto& f : preview.Staged()) {
        out.names.push_back(fs::path(f.Path).filename().string());
        out.files.push_back(ReadFile(f.Path));
    }
    out.imagesFound = main.ImagesFound;
    out.report = main.LastRun;
    EXPECT_TRUE(main.StopFlag);
    EXPECT_TRUE(main.ButtonStart.Enabled());
    return out;
}

// The staged files of a run by name.
std::map<std::string, Bytes> byName(const FolderRun& run) {
    std::map<std::string, Bytes> out;
    for (std::size_t i = 0; i < run.names.size(); ++i) out[run.names[i]] = run.files[i];
    return out;
}

class FolderMethod : public ::testing::Test {
protected:
    void SetUp() override {
        DriveTable::instance().clear();
        if (std::system("command -v mkfs.fat >/dev/null && command -v mcopy >/dev/null") != 0) GTEST_SKIP() << "needs dosfstools and mtools";
    }
    void TearDown() override { DriveTable::instance().clear(); }
};

TEST_F(FolderMethod, DeletedPicturesComeBackUnderTheirOwnNamesAndSameNamesAreBothKept) {
    ToolCard card;
    card.run("mmd -i card.img ::DCIM ::DCIM/100CAMRA ::DCIM/101CAMRA");
    const Bytes first = photo(70'000, 1), second = photo(50'000, 2), notes = photo(3000, 3), kept = photo(9000, 4);
    card.put("DCIM/100CAMRA/IMG_0001.JPG", first);
    card.put("DCIM/101CAMRA/IMG_0001.JPG", second);
    card.put("Holiday at the sea.jpg", kept);
    card.put("notes.txt", notes);
    card.run("mdel -i card.img ::DCIM/100CAMRA/IMG_0001.JPG ::DCIM/101CAMRA/IMG_0001.JPG ::notes.txt");
    const auto drive = card.drive();
    ASSERT_NE(drive, 0);

    // The analysis presets the combined run, whose folder based phase recovers the deleted files.
    TFrmFATScan scan;
    TFrmAnalyzeDrive dialog(scan, drive);
    dialog.FormShow();
    dialog.AnalyzeTimerTimer();
    EXPECT_TRUE(dialog.RBBothMethods.Checked());
    EXPECT_TRUE(dialog.CBRecoverDeletedFiles.Checked());
    EXPECT_EQ(dialog.LabelTotalDeletedFiles.Caption(), "Found 2 deleted files");

    const auto out = recover(drive, true, false);
    ASSERT_EQ(out.files.size(), 2u);  // the text file is not a picture; the live photo is not deleted
    EXPECT_EQ(out.imagesFound, 2);
    EXPECT_NE(out.names[0], out.names[1]);
    // A short name loses its first letter to the deletion mark, which shows as "_".
    for (const auto& name : out.names) EXPECT_EQ(name.rfind("_MG_0001", 0), 0u) << name;
    EXPECT_TRUE(std::find(out.files.begin(), out.files.end(), first) != out.files.end());
    EXPECT_TRUE(std::find(out.files.begin(), out.files.end(), second) != out.files.end());
}

// Deleting the first photos of a card frees every cluster after the folders' own, which hold end
// marks only: the FAT is in use all the same, and a photo written around a live one is read around
// it, not through it.
TEST_F(FolderMethod, ACardWhoseFirstPhotosAreDeletedIsStillReadAlongItsFat) {
    const char* formats[] = {"-F 16 -s 1 card.img 16384", "-F 32 -s 1 card.img 33792"};
    const Bytes first = photo(10'000, 21), hole = photo(1500, 22), live = photo(2000, 23), around = photo(6000, 24);
    for (const char* format : formats) {
        SCOPED_TRACE(format);
        ToolCard card(format);
        card.run("mmd -i card.img ::DCIM ::DCIM/100CAMRA");
        card.put("DCIM/100CAMRA/IMG_0001.JPG", first);  // the clusters up to 16 and past them
        card.put("DCIM/100CAMRA/IMG_0002.JPG", hole);
        card.put("DCIM/100CAMRA/IMG_0003.JPG", live);
        card.run("mdel -i card.img ::DCIM/100CAMRA/IMG_0002.JPG");
        card.put("DCIM/100CAMRA/IMG_0004.JPG", around);  // fills the hole, goes on after IMG_0003
        card.run("mdel -i card.img ::DCIM/100CAMRA/IMG_0001.JPG ::DCIM/100CAMRA/IMG_0004.JPG");
        const auto drive = card.drive();
        ASSERT_NE(drive, 0);

        const auto out = byName(recover(drive, true, false));
        ASSERT_EQ(out.size(), 2u);
        for (const auto& [name, original] : {std::pair{"_MG_0001.JPG", &first}, {"_MG_0004.JPG", &around}}) {
            ASSERT_TRUE(out.count(name)) << name;
            EXPECT_TRUE(out.at(name) == *original) << name << " is not the deleted photo";
        }
    }
}

// A folder of 40 photos spans three clusters of 512 bytes. Deleted, its chain is free after the
// first cluster: the walk goes on over the free clusters right after it that still hold its
// entries. The folder grows before the photos are written (their entries made first), so its
// clusters follow each other.
TEST_F(FolderMethod, ADeletedFolderOfSeveralClustersGivesBackAllItsPhotos) {
    std::map<std::string, Bytes> photos;
    for (int i = 1; i <= 40; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "IMG_%04d.JPG", i);
        photos[name] = photo(1000 + static_cast<std::size_t>(i) * 37, 30 + i);
    }
    for (const char* format : {"-F 16 -s 1 card.img 16384", "-F 32 -s 1 card.img 33792"}) {
        SCOPED_TRACE(format);
        ToolCard card(format);
        card.run("mmd -i card.img ::DCIM ::DCIM/100CAMRA");
        for (const auto& [name, data] : photos) card.put("DCIM/100CAMRA/" + name, {});
        for (const auto& [name, data] : photos) card.put("DCIM/100CAMRA/" + name, data);
        card.run("mdeltree -i card.img ::DCIM/100CAMRA");
        const auto drive = card.drive();
        ASSERT_NE(drive, 0);

        const auto out = byName(recover(drive, true, false));
        EXPECT_EQ(out.size(), photos.size());
        int exact = 0;
        for (const auto& [name, data] : photos) {
            const std::string saved = "_" + name.substr(1);
            if (out.count(saved) && out.at(saved) == data) ++exact;
        }
        EXPECT_EQ(exact, 40);
        for (const auto& [name, data] : out) {
            const auto original = photos.find("I" + name.substr(1));
            EXPECT_TRUE(original != photos.end() && original->second == data) << name << " is not a deleted photo";
        }
    }
}

// Deleted entries that all point at one chain give one copy, not one per entry.
TEST_F(FolderMethod, CrossLinkedDeletedEntriesAreCopiedOnce) {
    ToolCard card;
    const Bytes first = photo(20'000, 50);
    for (int i = 1; i <= 100; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "IMG_%04d.JPG", i);
        card.put(name, i == 1 ? first : photo(20'000, 50 + i));
    }
    card.run("mdel -i card.img '::IMG_*.JPG'");
    // Every deleted entry is made to point at the first photo's cluster.
    const fs::path image = card.dir / "card.img";
    Bytes bytes = ReadFile(image.string());
    std::vector<std::size_t> entries;
    for (std::size_t at = 0; at + 32 <= bytes.size(); at += 32)
        if (bytes[at] == 0xE5 && std::equal(bytes.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                                            bytes.begin() + static_cast<std::ptrdiff_t>(at) + 4, "MG_") &&
            bytes[at + 11] == 0x20)
            entries.push_back(at);
    ASSERT_EQ(entries.size(), 100u);
    for (std::size_t at : entries) {
        bytes[at + 26] = bytes[entries[0] + 26];
        bytes[at + 27] = bytes[entries[0] + 27];
    }
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
    const auto drive = card.drive();
    ASSERT_NE(drive, 0);

    const auto out = recover(drive, true, false);
    std::size_t staged = 0;
    for (const auto& file : out.files) staged += file.size();
    EXPECT_EQ(staged, first.size());
    ASSERT_EQ(out.files.size(), 1u);
    EXPECT_TRUE(out.files[0] == first);
}

// Offsets of the deleted short entries whose name (after the deletion mark) begins with stem.
std::vector<std::size_t> deletedEntries(const Bytes& image, std::string_view stem) {
    std::vector<std::size_t> found;
    for (std::size_t at = 0; at + 32 <= image.size(); at += 32)
        if (image[at] == 0xE5 && image[at + 11] == 0x20 &&
            std::equal(stem.begin(), stem.end(), image.begin() + static_cast<std::ptrdiff_t>(at) + 1))
            found.push_back(at);
    return found;
}

// Some FAT32 writers clear the high word of a deleted entry's first cluster. Photos that lie past
// cluster 65535 then point into a live file's data (or at bytes of another kind): they come back
// from the cluster that is free and begins as a JPEG, or are reported as not recoverable.
TEST_F(FolderMethod, DeletedFat32EntriesThatLostTheirHighWordAreReadFromTheirOwnCluster) {
    ToolCard card("-F 32 -s 1 card.img 90000");  // about 177,000 clusters of 512 bytes
    card.run("mmd -i card.img ::DCIM");
    const auto filler = [](std::size_t size) {
        Bytes b(size);
        for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 7 / 3);
        return b;
    };
    // GONE0001's low word falls into the deleted first.bin (free, but no JPEG there), GONE0002's
    // into the live second.bin.
    card.put("first.bin", filler(400'000));
    card.put("second.bin", filler(33'200'000));
    const Bytes overFree = photo(40'000, 61), overLive = photo(30'000, 62),
                overwritten = photo(20'000, 63);
    card.put("DCIM/GONE0001.JPG", overFree);
    card.put("DCIM/KEPT0001.JPG", filler(600'000));
    card.put("DCIM/GONE0002.JPG", overLive);
    card.put("DCIM/GONE0003.JPG", overwritten);
    card.put("tail.bin", filler(34'000'000));  // its clusters are the ones GONE0003's low word could take next
    card.run("mdel -i card.img ::DCIM/GONE0001.JPG ::DCIM/GONE0002.JPG ::DCIM/GONE0003.JPG ::tail.bin ::first.bin");

    const fs::path image = card.dir / "card.img";
    Bytes bytes = ReadFile(image.string());
    const auto entries = deletedEntries(bytes, "ONE000");
    ASSERT_EQ(entries.size(), 3u);
    const auto le = [&](std::size_t at, int n) {
        std::uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | bytes[at + static_cast<std::size_t>(i)];
        return v;
    };
    const std::size_t firstData = (le(14, 2) + bytes[16] * le(36, 4)) * 512;
    for (std::size_t at : entries) {
        ASSERT_NE(bytes[at + 20] | bytes[at + 21], 0) << "the photos must lie past cluster 65535";
        // GONE0003's first cluster has since been written over with other bytes.
        if (bytes[at + 7] == '3') bytes[firstData + (le(at + 26, 2) + (le(at + 20, 2) << 16) - 2) * 512] = 'x';
        bytes[at + 20] = bytes[at + 21] = 0;
    }
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
    const auto drive = card.drive();
    ASSERT_NE(drive, 0);

    const auto run = recover(drive, true, false);
    const auto out = byName(run);
    EXPECT_EQ(out.size(), 2u);
    for (const auto& [name, original] : {std::pair{"_ONE0001.JPG", &overFree}, {"_ONE0002.JPG", &overLive}}) {
        ASSERT_TRUE(out.count(name)) << name;
        EXPECT_TRUE(out.at(name) == *original) << name << " is not the deleted photo";
    }
    EXPECT_EQ(run.report.NotRecoverable, std::vector<std::string>{"_ONE0003.JPG"});
}

TEST_F(FolderMethod, AfterAQuickFormatTheOldPicturesAreFoundAsLostFiles) {
    ToolCard card;
    card.run("mmd -i card.img ::DCIM ::DCIM/100CAMRA");
    std::vector<Bytes> old;
    for (int i = 0; i < 3; ++i) {
        old.push_back(photo(40'000 + static_cast<std::size_t>(i) * 1000, 10 + i));
        card.put("DCIM/100CAMRA/IMG_000" + std::to_string(i + 1) + ".JPG", old.back());
    }
    card.run("mkfs.fat --invariant -F 16 -s 4 -n CARD card.img 16384");  // quick format: the data stays
    const auto drive = card.drive();
    ASSERT_NE(drive, 0);

    const auto none = recover(drive, true, false);
    EXPECT_TRUE(none.files.empty());  // no deleted entry is left after a format
    const auto out = recover(drive, true, true);
    ASSERT_EQ(out.files.size(), old.size());
    for (const auto& picture : old) {
        EXPECT_TRUE(std::find(out.files.begin(), out.files.end(), picture) != out.files.end());
    }
}

TEST_F(FolderMethod, AnErrorInsideTheRunStopsItWithItsReasonInTheWindowAndTheService) {
    ToolCard card;
    card.put("IMG_0001.JPG", photo(20'000, 5));
    card.run("mdel -i card.img ::IMG_0001.JPG");
    auto bytes = std::make_shared<Bytes>(ReadFile((card.dir / "card.img").string()));
    // The scan driver's first read of the boot sector fails the way a broken engine does.
    auto faulty = std::make_shared<FaultyVolumeOpener>(std::make_shared<MemoryVolumeOpener>(bytes), 0,
                                                       [] { throw std::runtime_error("the card reader fell out"); });
    const auto drive = AddMemoryDrive(faulty, bytes->size(), "faulty card");
    ASSERT_NE(drive, 0);
    const std::string failure = "The recovery stopped: the card reader fell out";

    RecordingUI ui;
    SetUI(&ui);
    {
        TFrmMain main;
        main.FormCreate();
        ASSERT_TRUE(main.SelectDrive(drive));
        faulty->armed = true;
        TFrmPreview preview(main);
        main.FrmPreview = &preview;
        main.RunFolderMethod(true, false);
        faulty->armed = false;
        EXPECT_EQ(main.LastRun.FailureKind, TRunFailure::Error);
        EXPECT_EQ(main.LastRun.Failure, failure);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].first, MsgIcon::Warning);
        EXPECT_EQ(ui.boxes[0].second, failure);
        EXPECT_EQ(main.LabelInfoStatus.Caption(), "Ready");
        EXPECT_TRUE(main.ButtonStart.Enabled());
    }
    {
        TRecoveryPlan plan;
        plan.Drive = drive;
        plan.Method = TRecoveryMethod::Folder;
        RecoveryRun run(plan);
        faulty->armed = true;
        const TRunReport report = run.Run();
        faulty->armed = false;
        EXPECT_EQ(report.FailureKind, TRunFailure::Error);
        EXPECT_EQ(report.Failure, failure);
        EXPECT_TRUE(run.Staged().Files().empty());
    }
    SetUI(nullptr);
}

TEST_F(FolderMethod, TheServiceStagesWhatTheWindowStages) {
    // Two deleted photos found by their entries, and one whose entry is long gone: only the
    // combined run's scan finds that one, in the free space past the files.
    ToolCard card;
    card.run("mmd -i card.img ::DCIM");
    card.put("DCIM/IMG_0001.JPG", photo(30'000, 6));
    card.put("DCIM/IMG_0002.JPG", photo(12'000, 7));
    card.run("mdel -i card.img ::DCIM/IMG_0001.JPG ::DCIM/IMG_0002.JPG");
    const Bytes unnamed = photo(8'000, 8);
    {
        std::fstream image(card.dir / "card.img", std::ios::in | std::ios::out | std::ios::binary);
        image.seekp(12'000 * 512);
        image.write(reinterpret_cast<const char*>(unnamed.data()), static_cast<std::streamsize>(unnamed.size()));
    }
    const auto drive = card.drive();
    ASSERT_NE(drive, 0);

    struct Case {
        TRecoveryMethod method;
        std::size_t files;
        // The position label's captions: the run's unit, then (with the status still "Busy") the
        // scan's sectors, or the resting caption once the run has ended ("Ready").
        std::vector<std::pair<std::string, std::string>> positionLabels;
    };
    const Case cases[] = {
        {TRecoveryMethod::Folder, 2, {{"Current clustor:", "Busy"}, {"Current sector:", "Ready"}}},
        {TRecoveryMethod::Both, 3, {{"Current clustor:", "Busy"}, {"Current sector:", "Busy"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.method));
        const auto window = recover(drive, true, false, c.method);
        EXPECT_EQ(window.positionLabels, c.positionLabels);

        TRecoveryPlan plan;
        plan.Drive = drive;
        plan.Method = c.method;
        RecoveryRun run(plan);
        const TRunReport& report = run.Run();
        std::vector<std::string> names;
        std::vector<Bytes> files;
        for (const auto& f : run.Staged().Files()) {
            names.push_back(fs::path(f.Path).filename().string());
            files.push_back(ReadFile(f.Path));
        }
        run.Staged().DeleteStagedFiles();

        ASSERT_EQ(window.files.size(), c.files);
        EXPECT_EQ(names, window.names);
        EXPECT_EQ(files, window.files);
        EXPECT_EQ(window.report.Whole + window.report.Damaged, report.Whole + report.Damaged);
        EXPECT_TRUE(report.Failure.empty());
        if (c.method == TRecoveryMethod::Both) {
            // The carved photo runs on into the free space after it: it begins with the photo.
            ASSERT_GE(window.files.back().size(), unnamed.size());
            EXPECT_TRUE(std::equal(unnamed.begin(), unnamed.end(), window.files.back().begin()));
        }
    }
}

}  // namespace
}  // namespace quorvane::testing
