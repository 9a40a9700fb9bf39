#pragma once
// The drive analysis dialog without its toolkit: the analysis of the selected drive (two
// counting passes, DriveAnalysis) while a label blinks, the counts shown, the combined run
// preselected with the proposed file choices (which the folder based phase takes).
#include "app/controls.h"
#include "app/drive_analysis.h"

#include <cstdint>

namespace quorvane {

class TFrmFATScan;

// A timer of the dialog: the front end calls the handler every Interval ms while it is enabled.
class TTimer : public TControl {
public:
    TTimer(std::string name, int interval) : TControl(std::move(name)), Interval(interval) { SetEnabled(false); }
    const int Interval;
};

enum class TModalResult { None = 0, OK = 1, Cancel = 2 };

class TFrmAnalyzeDrive {
public:
    // driveName: how messages name the drive; empty takes its letter.
    TFrmAnalyzeDrive(TFrmFATScan& scanDriver, std::int32_t driveNumber, const std::string& driveName = {});

    // Pages of PCDriveMethod.
    enum class Page { TSAnalyzingDrive, TSSelectMethod, TSSelectType };

    Page ActivePage = Page::TSAnalyzingDrive;
    TLabel LabelBlinkAnalyzingDrive{"LabelBlinkAnalyzingDrive", "Analyzing Drive "};
    TLabel LabelTotalFolders{"LabelTotalFolders", ""};
    TCheckBox RBBothMethods{"RBBothMethods", "Both methods (recommended)"};
    TLabel LabelBothMethods{"LabelBothMethods",
                            "Recovers the deleted files by name, then scans the rest of the card for pictures, "
                            "sounds and films"};
    TCheckBox RBFolderMethod{"RBFolderMethod", "Use folder based recover  (Recommended)"};
    TCheckBox RBScanMethod{"RBScanMethod", "Use scan method recover"};
    TLabel LabelTotalDeletedFiles{"LabelTotalDeletedFiles", ""};
    TCheckBox CBRecoverDeletedFiles{"CBRecoverDeletedFiles", "Recover these files"};
    TCheckBox CBRecoverLostFiles{"CBRecoverLostFiles", "Look for additional lost files"};
    TButton ButtonContinue{"ButtonContinue", "Continue"};
    TButton ButtonCancel{"ButtonCancel", "Cancel"};
    TTimer AnalyzeTimer{"AnalyzeTimer", 1000};
    TTimer BlinkAnalyzeTimer{"BlinkAnalyzeTimer", 250};
    std::int32_t BlinkCount = 0;
    bool Cancelled = false;
    TModalResult ModalResult = TModalResult::None;

    // The counts of the last analysis.
    std::int32_t Folders = 0;
    std::int32_t Files = 0;
    // The analysis found that the folder based method cannot read the drive: the combined run is
    // the scan alone, so its file choices are not asked.
    bool FolderMethodRefused = false;

    void FormShow();
    void AnalyzeTimerTimer();
    void BlinkAnalyzeTimerTimer();
    void ButtonContinueClick();
    void ButtonCancelClick();

    // Radio group: checking one unchecks the others.
    void CheckScanMethod(bool checked);
    void CheckMethod(TRecoveryMethod method);
    // The method whose button is checked.
    TRecoveryMethod Method() const;

private:
    DriveAnalysis analysis_;
};

}  // namespace quorvane
