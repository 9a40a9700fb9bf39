#include "disk/ldiskio_platform.h"
#include "platform/work_folder.h"
#include "scan_card.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <sys/resource.h>
#include <unistd.h>

namespace quorvane::testing {
namespace {

class ScanMethod : public ::testing::Test {
protected:
    void SetUp() override { DriveTable::instance().clear(); }
    void TearDown() override { DriveTable::instance().clear(); }
};

TEST_F(ScanMethod, FilesRunFromOneStartToTheSectorBeforeTheNextAndToTheEndOfTheVolume) {
    ScanCard card(250);  // blocks of 100, 100 and a shortened last block of 50
    card.PutJpegStart(3);
    card.PutPngStart(103);
    const auto out = RunScan(card, {.sectorsAtOnce = 100});
    ASSERT_EQ(out.files.size(), 2u);
    EXPECT_EQ(out.names[0], "image1.JPG");
    EXPECT_EQ(out.names[1], "image2.PNG");
    EXPECT_EQ(out.files[0], card.Sectors(3, 102));    // exactly 100 sectors
    EXPECT_EQ(out.files[1], card.Sectors(103, 249));  // to the last sector of the volume
    EXPECT_EQ(out.report.SectorsRead, 250u);
    EXPECT_EQ(out.report.ReadErrors, 0);
}

TEST_F(ScanMethod, AFileEndsOnceItPassesTheSizeLimitAndANewFileIsNeverCutAtItsFirstSector) {
    ScanCard card(21'000);
    card.PutJpegStart(0);
    // After the first file ends, 499 sectors pass without any file; the count keeps growing
    // past the limit but restarts with the next file.
    card.PutPngStart(10'500);
    const auto out = RunScan(card);
    ASSERT_EQ(out.files.size(), 2u);
    EXPECT_EQ(out.files[0].size(), 5'120'512u);  // 10,001 sectors
    EXPECT_EQ(out.files[0], card.Sectors(0, 10'000));
    EXPECT_EQ(out.files[1], card.Sectors(10'500, 20'500));
}

struct ReadFailureCase {
    const char* name;
    int retries;
    std::int32_t readErrors;
    std::vector<std::uint32_t> skipped;
};

TEST_F(ScanMethod, AFailedReadIsRetriedAloneAndTheRunGoesOnSectorBySector) {
    const ReadFailureCase cases[] = {
        // The block read fails once; its first sector is skipped without a retry, and so is
        // the bad sector when the single-sector reads reach it.
        {"one attempt", 1, 2, {0, 49}},
        // The retry of the block reads its first sector alone and succeeds; the bad sector
        // then fails three times and is skipped.
        {"three attempts", 3, 4, {49}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DriveTable::instance().clear();
        ScanCard card(200);
        card.PutJpegStart(0);
        card.PutPngStart(10);
        card.opener->failingSectors = {49};
        const auto out = RunScan(card, {.sectorsAtOnce = 100, .retries = c.retries});
        EXPECT_EQ(out.report.ReadErrors, c.readErrors);
        EXPECT_EQ(out.report.SectorsRead, 200u);
        ASSERT_FALSE(out.files.empty());
        // The file that spans the bad sector lacks it (and nothing else).
        EXPECT_EQ(out.files.back(), card.Sectors(10, 199, c.skipped));
        if (c.retries == 3) {
            ASSERT_EQ(out.files.size(), 2u);
            EXPECT_EQ(out.files[0], card.Sectors(0, 9));
        } else {
            EXPECT_EQ(out.files.size(), 1u);  // the first start sat in the skipped sector
        }
    }
}

TEST_F(ScanMethod, BothFamiliesRecoverTheSameFiles) {
    ScanCard card(3000);
    for (std::uint32_t s : {5u, 700u, 1999u, 2500u}) card.PutJpegStart(s);
    card.opener->failingSectors = {1500};

    const auto nt = RunScan(card, {.retries = 2});
    DriveTable::instance().clear();
    ::setenv("QUORVANE_FAMILY", "9x", 1);
    ldiskio::Shutdown();  // the next call starts the unit again on the 9x path
    const auto win9x = RunScan(card, {.retries = 2});
    ::unsetenv("QUORVANE_FAMILY");
    const bool was9x = !ldiskio::Inspect().isNT;
    ldiskio::Shutdown();

    EXPECT_TRUE(was9x);
    ASSERT_EQ(nt.files.size(), 4u);
    EXPECT_EQ(nt.names, win9x.names);
    EXPECT_EQ(nt.files, win9x.files);
    EXPECT_EQ(nt.report.ReadErrors, win9x.report.ReadErrors);
}

TEST_F(ScanMethod, NeverOpensTheSourceForWriting) {
    ScanCard card(400);
    card.PutJpegStart(1);
    card.opener->readOnly = true;
    const auto out = RunScan(card);
    EXPECT_EQ(out.files.size(), 1u);
    EXPECT_GT(card.opener->opens, 0);
    EXPECT_EQ(card.opener->writeOpens, 0);
}

TEST_F(ScanMethod, CancelKeepsThePartlyWrittenFile) {
    for (const FrontEnd through : {FrontEnd::Window, FrontEnd::Service}) {
        SCOPED_TRACE(through == FrontEnd::Window ? "window" : "service");
        DriveTable::instance().clear();
        ScanCard card(1000);
        card.PutJpegStart(0);
        card.PutJpegStart(100);
        card.PutJpegStart(500);
        // Cancel as soon as the first file is staged: that happens when the second file starts.
        const auto out = RunScan(card, {.onFileStaged = [](const auto& cancel) { cancel(); }, .through = through});
        ASSERT_EQ(out.files.size(), 2u);
        EXPECT_EQ(out.files[0], card.Sectors(0, 99));
        EXPECT_EQ(out.files[1], card.Sectors(100, 100));  // its first sector was written before the stop
        EXPECT_TRUE(out.report.Cancelled);
        EXPECT_EQ(out.report.SectorsRead, 101u);
    }
}

TEST_F(ScanMethod, AStagedFileThatCannotBeWrittenIsNotHandedOnAndStopsTheRun) {
    ScanCard card(12'000);
    card.PutJpegStart(0);
    card.PutJpegStart(11'000);
    // A file size limit makes the staging writes fail the way a full disk does.
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 2 << 20;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const auto out = RunScan(card);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_TRUE(out.files.empty());
    EXPECT_NE(out.report.Failure.find("image1.JPG"), std::string::npos) << out.report.Failure;
    EXPECT_LT(out.report.SectorsRead, 11'000u);
}

TEST_F(ScanMethod, AnEmptyDriveDoesNothing) {
    ScanCard card(0);
    const auto out = RunScan(card);
    EXPECT_TRUE(out.files.empty());
    EXPECT_EQ(out.report.SectorsRead, 0u);
}

TEST_F(ScanMethod, ADriveWithoutSectorsIsRefusedAlikeByTheWindowAndTheService) {
    for (const FrontEnd through : {FrontEnd::Window, FrontEnd::Service}) {
        SCOPED_TRACE(through == FrontEnd::Window ? "window" : "service");
        DriveTable::instance().clear();
        ScanCard card(0);
        const auto out = RunScan(card, {.through = through});
        ASSERT_NE(out.drive, 0);
        EXPECT_TRUE(out.files.empty());
        EXPECT_EQ(out.report.FailureKind, TRunFailure::NoSectors);
        EXPECT_EQ(out.report.Failure, "memory card (image) has no sectors");
        if (through == FrontEnd::Window) {
            // Shown as a refusal: no title, the exclamation icon.
            ASSERT_EQ(out.boxes.size(), 1u);
            EXPECT_EQ(out.boxes[0].first, MsgIcon::Exclamation);
            EXPECT_EQ(out.boxes[0].second, out.report.Failure);
            EXPECT_TRUE(out.windowReady);
        }
    }
}

TEST_F(ScanMethod, StartOnADriveWithoutSectorsShowsTheRefusalAndSavesNothing) {
    ScanCard card(0);
    const auto drive = AddMemoryDrive(card.opener, 0, "memory card");
    const auto dest = std::filesystem::temp_directory_path() / ("quorvane-refused-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dest);
    RecordingUI ui;
    SetUI(&ui);
    {
        TFrmMain main;
        main.FormCreate();
        ASSERT_TRUE(main.SelectDrive(drive));
        main.EditDestPath.SetText(dest.string());
        main.ButtonStartClick();  // nothing is found; the preset combined run is refused at once
        EXPECT_EQ(main.LastRun.FailureKind, TRunFailure::NoSectors);
        EXPECT_EQ(main.FrmPreview, nullptr);
        EXPECT_TRUE(main.ButtonStart.Enabled());
    }
    SetUI(nullptr);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].second, "memory card (image) has no sectors");
    EXPECT_FALSE(std::filesystem::exists(dest)) << "no save step after a refused run";
}

TEST_F(ScanMethod, AnErrorInsideTheRunStopsItWithItsReasonAndKeepsTheFileFoundSoFar) {
    struct Case {
        const char* name;
        std::function<void()> fault;
        const char* failure;
    };
    const Case cases[] = {
        {"a failing reader", [] { throw std::runtime_error("the card reader fell out"); },
         "The recovery stopped: the card reader fell out"},
        {"memory exhausted", [] { throw std::bad_alloc(); }, "The recovery stopped: out of memory"},
        {"anything else", [] { throw 42; }, "The recovery stopped: an unexpected error"},
    };
    for (const FrontEnd through : {FrontEnd::Window, FrontEnd::Service}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (through == FrontEnd::Window ? " in the window" : " in the service"));
            DriveTable::instance().clear();
            ScanCard card(300);
            card.PutJpegStart(3);
            card.PutJpegStart(150);
            // The second block's read fails: the file begun in the first one is kept as far as it got.
            const auto out = RunScan(card, {.sectorsAtOnce = 100, .through = through, .fault = c.fault, .faultAtSector = 100});
            EXPECT_EQ(out.report.FailureKind, TRunFailure::Error);
            EXPECT_EQ(out.report.Failure, c.failure);
            EXPECT_FALSE(out.report.Cancelled);
            EXPECT_EQ(out.report.SectorsRead, 100u);
            ASSERT_EQ(out.files.size(), 1u);
            EXPECT_EQ(out.files[0], card.Sectors(3, 99));
            if (through == FrontEnd::Window) {
                ASSERT_EQ(out.boxes.size(), 1u);
                EXPECT_EQ(out.boxes[0].first, MsgIcon::Warning);
                EXPECT_EQ(out.boxes[0].second, c.failure);
                EXPECT_TRUE(out.windowReady);
            }
        }
    }
}

TEST_F(ScanMethod, TheWindowAndTheServiceGiveTheSameFilesForTheSamePlan) {
    ScanCard card(5000);
    for (std::uint32_t s : {7u, 640u, 2047u, 3100u}) card.PutJpegStart(s);
    card.PutPngStart(4000);
    card.opener->failingSectors = {2500, 2501};
    const ScanSettings settings{.sectorsAtOnce = 128, .retries = 2, .prefix = "same"};
    const auto window = RunScan(card, settings);
    DriveTable::instance().clear();
    auto throughService = settings;
    throughService.through = FrontEnd::Service;
    const auto service = RunScan(card, throughService);

    ASSERT_EQ(window.files.size(), 5u);
    EXPECT_EQ(window.names, service.names);
    EXPECT_EQ(window.files, service.files);
    EXPECT_EQ(window.report.SectorsRead, service.report.SectorsRead);
    EXPECT_EQ(window.report.ReadErrors, service.report.ReadErrors);
    EXPECT_EQ(window.report.Failure, service.report.Failure);
}

}  // namespace
}  // namespace quorvane::testing
