// A card taken out during a run: the run ends at once with a message that says so and keeps the
// files found before, instead of counting every remaining sector as a read error. And how the
// drive table tells that a card is gone.
#include "app/recovery_run.h"
#include "platform/drive_table.h"
#include "platform/fake_sysfs.h"
#include "platform/image_fixtures.h"
#include "scan_card.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quorvane::testing {
namespace {

TEST(MediumRemoved, AScanEndsWithTheReasonAndKeepsTheFilesFoundBefore) {
    DriveTable::instance().clear();
    ScanCard card(300);
    card.PutJpegStart(3);
    card.PutJpegStart(50);
    card.PutJpegStart(150);
    // The card goes at sector 100: from there on every read fails.
    for (std::uint64_t s = 100; s < 300; ++s) card.opener->failingSectors.insert(s);
    const std::uint8_t drive = AddMemoryDrive(card.opener, card.opener->bytes->size(), "memory card");

    TRecoveryPlan plan;
    plan.Drive = drive;
    plan.DriveName = "memory card (image)";
    plan.Method = TRecoveryMethod::Scan;
    plan.SectorsAtOnce = 10;
    plan.RetryCount = 5;
    RecoveryRun run(plan);
    run.MediumPresent = [](std::uint8_t) { return false; };
    const TRunReport report = run.Run();

    EXPECT_EQ(report.FailureKind, TRunFailure::Stopped);
    EXPECT_NE(report.Failure.find("was taken out during the run"), std::string::npos) << report.Failure;
    EXPECT_NE(report.Failure.find("memory card (image)"), std::string::npos) << report.Failure;
    EXPECT_EQ(report.ReadErrors, 0) << "no retries of a card that is gone";
    ASSERT_EQ(run.Staged().Files().size(), 2u);
    EXPECT_EQ(ReadFile(run.Staged().Files()[0].Path), card.Sectors(3, 49));
    EXPECT_EQ(ReadFile(run.Staged().Files()[1].Path), card.Sectors(50, 99)) << "the open file keeps what was read";
    run.Staged().DeleteStagedFiles();
    DriveTable::instance().clear();
}

TEST(MediumRemoved, TheDriveTableSeesACardPulledOrAnImageDeleted) {
    TempDir dir;
    FakeSysfs sysfs(dir.path() / "sys");
    sysfs.addDisk(FakeDisk("sdb", 131072).isRemovable());
    auto& table = DriveTable::instance();
    table.setDevRoot(dir.file("dev"));
    table.setSysfsRoot(sysfs.root().string());
    const DriveEntry* reader = table.findByPath(dir.file("dev") + "/sdb");
    ASSERT_NE(reader, nullptr);
    const std::uint8_t device = reader->number;
    EXPECT_TRUE(DriveMediumPresent(device));
    // The card out of a reader that stays: the disk has no sectors.
    std::ofstream(sysfs.root() / "class" / "block" / "sdb" / "size") << "0\n";
    EXPECT_FALSE(DriveMediumPresent(device));
    // The reader unplugged: no disk at all.
    std::filesystem::remove(sysfs.root() / "class" / "block" / "sdb");
    EXPECT_FALSE(DriveMediumPresent(device));

    std::ofstream(dir.file("card.img")) << std::string(64 * 1024, '\0');
    std::string error;
    const auto added = table.addPath(dir.file("card.img"), error);
    ASSERT_FALSE(added.empty()) << error;
    EXPECT_TRUE(DriveMediumPresent(added[0]));
    std::filesystem::remove(dir.file("card.img"));
    EXPECT_FALSE(DriveMediumPresent(added[0]));

    table.setSysfsRoot("/sys");
    table.setDevRoot("/dev");
    table.clear();
}

}  // namespace
}  // namespace quorvane::testing
