// Volumes the folder based method cannot read, made by the real formatting tools: the run refuses
// them with what they hold, and Start takes the scan method after one plain message.
#include "app/drive_analysis.h"
#include "app/frm_fat_scan.h"
#include "app/frm_main.h"
#include "app/recovery_run.h"
#include "platform/drive_table.h"
#include "scan_card.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

struct VolumeCase {
    const char* name;
    const char* tool;     // needed on the path
    const char* command;  // makes volume.img in the current folder
    const char* holds;    // what the message says the volume holds
};

const VolumeCase Volumes[] = {
    {"NTFS", "mkfs.ntfs", "truncate -s 8M volume.img && mkfs.ntfs -q -F -f volume.img", "holds an NTFS file system, which"},
    {"ext4", "mkfs.ext4", "truncate -s 8M volume.img && mkfs.ext4 -q volume.img", "holds an ext4 file system, which"},
    {"FAT with a garbage boot sector", "mkfs.fat",
     "mkfs.fat -C volume.img 8192 && yes garbage | head -c 512 | dd of=volume.img conv=notrunc",
     "holds no file system that can be recognised"},
    {"FAT of 4096-byte sectors", "mkfs.fat", "mkfs.fat -C -S 4096 volume.img 8192",
     "holds a FAT12 file system with sectors of 4096 bytes, which"},
};

constexpr const char* ScanStillWorks = "the scan method can still recover its pictures.";

class UnreadableVolume : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("quorvane-unreadable-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        DriveTable::instance().clear();
        SetUI(&ui);
    }
    void TearDown() override {
        SetUI(nullptr);
        DriveTable::instance().clear();
        fs::remove_all(dir);
    }
    // The drive of the case's volume; 0 when its tool is missing.
    std::uint8_t make(const VolumeCase& c) {
        fs::remove(dir / "volume.img");
        if (std::system(("command -v " + std::string(c.tool) + " >/dev/null").c_str()) != 0) return 0;
        const std::string cmd = "cd '" + dir.string() + "' && (" + c.command + ") >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << c.command;
        std::string error;
        const auto added = DriveTable::instance().addPath((dir / "volume.img").string(), error);
        EXPECT_FALSE(added.empty()) << error;
        return added.empty() ? 0 : added.front();
    }

    fs::path dir;
    RecordingUI ui;
};

TEST_F(UnreadableVolume, TheFolderMethodRefusesItSayingWhatItHolds) {
    for (const auto& c : Volumes) {
        SCOPED_TRACE(c.name);
        const auto drive = make(c);
        if (drive == 0) continue;
        TRecoveryPlan plan;
        plan.Drive = drive;
        plan.DriveName = "the card";
        plan.Method = TRecoveryMethod::Folder;
        RecoveryRun run(plan);
        const TRunReport& report = run.Run();
        EXPECT_EQ(report.FailureKind, TRunFailure::NotReadable);
        EXPECT_EQ(report.Failure.rfind(std::string("the card ") + c.holds, 0), 0u) << report.Failure;
        EXPECT_NE(report.Failure.find(ScanStillWorks), std::string::npos) << report.Failure;
        EXPECT_TRUE(run.Staged().Files().empty());
        EXPECT_TRUE(run.WorkFolder().empty()) << "refused before the run began";
        EXPECT_TRUE(ui.boxes.empty()) << "the service tells its front end, which shows it";

        // The analysis counts nothing on it and proposes the scan method, saying why.
        TFrmFATScan scan;
        const auto analysis = DriveAnalysis(scan, drive, "the card").Run();
        EXPECT_EQ(analysis.Proposal.Method, TRecoveryMethod::Scan);
        EXPECT_EQ(analysis.FolderMethodRefusal, report.Failure);
        EXPECT_TRUE(ui.boxes.empty()) << "no mount was tried, so no mount message";
        DriveTable::instance().clear();
    }
}

TEST_F(UnreadableVolume, StartShowsOnePlainMessageAndTakesTheScanMethod) {
    for (const auto& c : Volumes) {
        SCOPED_TRACE(c.name);
        const auto drive = make(c);
        if (drive == 0) continue;
        ui.boxes.clear();
        TFrmMain main;
        main.FormCreate();
        ASSERT_TRUE(main.SelectDrive(drive));
        main.EditDestPath.SetText((dir / "saved").string());
        main.ButtonStartClick();
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_NE(ui.boxes[0].second.find(c.holds), std::string::npos) << ui.boxes[0].second;
        EXPECT_EQ(ui.boxes[0].second.find("Bad parameters"), std::string::npos);
        // The scan method ran over the whole drive.
        EXPECT_EQ(main.LastRun.FailureKind, TRunFailure::None);
        EXPECT_EQ(main.LastRun.TotalSectors, 16384u);
        EXPECT_EQ(main.LastRun.SectorsRead, main.LastRun.TotalSectors);

        // The folder based method chosen anyway is refused with the same one message.
        ui.boxes.clear();
        main.RunFolderMethod(true, false);
        EXPECT_EQ(main.LastRun.FailureKind, TRunFailure::NotReadable);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].second, main.LastRun.Failure);
        EXPECT_TRUE(main.ButtonStart.Enabled());
        DriveTable::instance().clear();
    }
}

}  // namespace
}  // namespace quorvane::testing
