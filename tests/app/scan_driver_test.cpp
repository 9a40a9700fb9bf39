#include "app/frm_analyze_drive.h"
#include "app/frm_fat_scan.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvane {
namespace {

TEST(ScanDriver, LostDataProgressTotalAddsOnePercentRoundedHalfToEven) {
    struct Case {
        std::uint32_t start, end, total;
    };
    const Case cases[] = {
        {2, 1001, 2020},  // 2 x 1,000 + 20
        {2, 26, 50},      // 25 clusters: 50 + 0.5, which rounds to 0
        {2, 76, 152},     // 75 clusters: 150 + 1.5, which rounds to 2
        {5, 5, 2},
    };
    for (const auto& c : cases) EXPECT_EQ(LostDataProgressTotal(c.start, c.end), c.total) << c.end - c.start + 1;
}

TEST(ScanDriver, ProgressIsShownOnTheFirstStepAfterSetStatusAndThenAtMostTwiceASecond) {
    TFrmFATScan scan;
    std::vector<std::int64_t> shown;
    scan.OnScanProgress = [&](std::int64_t pos) { shown.push_back(pos); };
    std::vector<std::int64_t> started;
    scan.OnStartScanData = [&](std::int64_t, std::int64_t start, std::int64_t, std::int32_t) { started.push_back(start); };
    scan.OnStartScanLostData(1000, 2, 1001, 2048);
    EXPECT_EQ(scan.ProgressTotal, 2020u);
    EXPECT_EQ(started, std::vector<std::int64_t>{2});
    for (int i = 0; i < 1000; ++i) scan.ProgressStepIt();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), 1);  // the first step after SetStatus always shows
    EXPECT_LE(shown.size(), 3u);  // a thousand quick steps do not redraw a thousand times
    EXPECT_EQ(scan.ProgressPos, 1000u);
    EXPECT_TRUE(scan.TimeForUserUpdate());  // the step that showed progress also asks for the status line
}

// A scan driver whose counting passes give fixed counts, to try the dialog's proposal rule.
class CountingScanDriver : public TFrmFATScan {
public:
    std::int32_t rootFolders = 0, deletedFolders = 0, deletedFiles = 0;
    bool resolvable = true;
    bool cancelDuringFirstPass = false;
    TFrmAnalyzeDrive* dialog = nullptr;
    int passes = 0;

    bool AnalyzeTotalFile(std::uint8_t, bool Root, bool, bool, std::int32_t& Files, std::int32_t& Folders) override {
        ++passes;
        if (cancelDuringFirstPass && dialog != nullptr) dialog->ButtonCancelClick();
        if (!resolvable) {
            MountError = "not a FAT volume";  // as the engine says it, in a box of its own
            return false;
        }
        Files = Root ? 99 : deletedFiles;  // the first pass's file count is not used
        Folders = Root ? rootFolders : deletedFolders;
        return true;
    }
};

TEST(AnalyzeDriveDialog, ProposesTheMethodAndFileChoicesFromTheCounts) {
    struct Case {
        const char* name;
        std::int32_t rootFolders, deletedFolders, deletedFiles;
        bool resolvable;
        bool folderMethod, recoverDeleted, lookForLost;
        const char* foldersText;
        const char* filesText;
    };
    const Case cases[] = {
        {"folders and files", 2, 1, 12, true, true, true, false, "Found 3 deleted folders", "Found 12 deleted files"},
        {"folders without files", 2, 0, 0, true, true, false, true, "Found 2 deleted folders", "Found 0 deleted files"},
        {"nothing at all", 0, 0, 0, true, false, false, true, "Found 0 deleted folders", "Found 0 deleted files"},
        {"no FAT file system", 4, 4, 4, false, false, false, true, "Found 0 deleted folders", "Found 0 deleted files"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CountingScanDriver scan;
        scan.rootFolders = c.rootFolders;
        scan.deletedFolders = c.deletedFolders;
        scan.deletedFiles = c.deletedFiles;
        scan.resolvable = c.resolvable;
        TFrmAnalyzeDrive dialog(scan, 5);
        dialog.FormShow();
        EXPECT_TRUE(dialog.AnalyzeTimer.Enabled());
        dialog.AnalyzeTimerTimer();
        EXPECT_EQ(dialog.ActivePage, TFrmAnalyzeDrive::Page::TSSelectMethod);
        EXPECT_TRUE(dialog.ButtonContinue.Enabled());
        // The combined run is preset whatever the counts; the proposal chooses its files.
        EXPECT_TRUE(dialog.RBBothMethods.Checked());
        EXPECT_FALSE(dialog.RBFolderMethod.Checked());
        EXPECT_FALSE(dialog.RBScanMethod.Checked());
        EXPECT_EQ(dialog.Method(), TRecoveryMethod::Both);
        EXPECT_EQ(dialog.CBRecoverDeletedFiles.Checked(), c.recoverDeleted);
        EXPECT_EQ(dialog.CBRecoverLostFiles.Checked(), c.lookForLost);
        EXPECT_EQ(dialog.LabelTotalFolders.Caption(), c.foldersText);
        EXPECT_EQ(dialog.LabelTotalDeletedFiles.Caption(), c.filesText);

        // A method that recovers by entries is confirmed from the type page, the scan at once; so
        // is the combined run on a drive the folder based method cannot read.
        for (const TRecoveryMethod method : {TRecoveryMethod::Both, TRecoveryMethod::Folder, TRecoveryMethod::Scan}) {
            SCOPED_TRACE(static_cast<int>(method));
            dialog.ActivePage = TFrmAnalyzeDrive::Page::TSSelectMethod;
            dialog.ModalResult = TModalResult::None;
            dialog.CheckMethod(method);
            EXPECT_EQ(dialog.Method(), method);
            EXPECT_EQ(dialog.RBBothMethods.Checked() + dialog.RBFolderMethod.Checked() + dialog.RBScanMethod.Checked(),
                      1);
            dialog.ButtonContinueClick();
            const bool asksFiles =
                method == TRecoveryMethod::Folder || (method == TRecoveryMethod::Both && c.resolvable);
            if (asksFiles) {
                EXPECT_EQ(dialog.ActivePage, TFrmAnalyzeDrive::Page::TSSelectType);
                EXPECT_EQ(dialog.ModalResult, TModalResult::None);
                dialog.ButtonContinueClick();
            }
            EXPECT_EQ(dialog.ModalResult, TModalResult::OK);
        }

        // The analysis on its own, as the command line uses it, proposes the same.
        const auto result = DriveAnalysis(scan, 5).Run();
        EXPECT_FALSE(result.Cancelled);
        EXPECT_EQ(result.Proposal.Method == TRecoveryMethod::Folder, c.folderMethod);
        EXPECT_EQ(result.Proposal.RecoverDeleted, c.recoverDeleted);
        EXPECT_EQ(result.Proposal.LookForLost, c.lookForLost);
        EXPECT_EQ(FoldersFoundText(result.Folders), c.foldersText);
        EXPECT_EQ(FilesFoundText(result.Files), c.filesText);
    }
}

TEST(AnalyzeDriveDialog, CancelDuringTheFirstPassSkipsTheSecondAndShowsNoCounts) {
    CountingScanDriver scan;
    scan.rootFolders = 3;
    scan.cancelDuringFirstPass = true;
    TFrmAnalyzeDrive dialog(scan, 5);
    scan.dialog = &dialog;
    dialog.FormShow();
    dialog.AnalyzeTimerTimer();
    EXPECT_EQ(scan.passes, 1);
    EXPECT_TRUE(scan.Stopped);
    EXPECT_EQ(dialog.ModalResult, TModalResult::Cancel);
    EXPECT_EQ(dialog.ActivePage, TFrmAnalyzeDrive::Page::TSAnalyzingDrive);
    EXPECT_FALSE(dialog.ButtonContinue.Enabled());
    EXPECT_EQ(dialog.LabelTotalFolders.Caption(), "");
}

TEST(AnalyzeDriveDialog, TheLabelBlinksSixDotsFirstAndSevenLater) {
    CountingScanDriver scan;
    TFrmAnalyzeDrive dialog(scan, 5);
    dialog.FormShow();
    std::vector<std::size_t> dotsBeforeReset;
    std::size_t dots = 0;
    for (int tick = 0; tick < 16; ++tick) {
        dialog.BlinkAnalyzeTimerTimer();
        const auto& text = dialog.LabelBlinkAnalyzingDrive.Caption();
        const std::size_t now = text.size() - std::string("Analyzing Drive ").size();
        if (now == 0) dotsBeforeReset.push_back(dots);
        dots = now;
    }
    ASSERT_GE(dotsBeforeReset.size(), 2u);
    EXPECT_EQ(dotsBeforeReset[0], 6u);
    EXPECT_EQ(dotsBeforeReset[1], 7u);
}

}  // namespace
}  // namespace quorvane
