// The window host of front ends without windows: every question gets the answer that lets a
// run go through as proposed.
#include "app/frm_analyze_drive.h"
#include "app/frm_preview.h"
#include "app/frm_select_folder_dialog.h"
#include "app/window_host.h"

namespace quorvane {
namespace {

class NonInteractive : public TWindowHost {
public:
    TModalResult ShowAnalyzeDrive(TFrmAnalyzeDrive& dialog) override {
        dialog.FormShow();
        dialog.AnalyzeTimerTimer();
        // Continue from the method page, and from the type page for the methods that recover by entries.
        for (int i = 0; i < 2 && dialog.ModalResult == TModalResult::None && !dialog.Cancelled; ++i) {
            dialog.ButtonContinueClick();
        }
        return dialog.Cancelled ? TModalResult::Cancel : dialog.ModalResult;
    }
    void PreviewCreated(TFrmPreview&) override {}
    void PlacePreviewBesideMain(TFrmPreview&) override {}
    void ShowPreviewModal(TFrmPreview& preview) override { preview.ButtonOKClick(); }
    void PreviewDestroying(TFrmPreview&) override {}
    bool ShowSelectFolder(TFrmSelectFolderDialog&) override { return false; }
    bool ShowFormatDialog(const DriveEntry&, TFormatOptions&) override { return false; }
    void OpenHelp(const std::string&) override {}
    void ShowAbout() override {}
    void Terminate() override {}
};

}  // namespace

TWindowHost& NonInteractiveWindows() {
    static NonInteractive host;
    return host;
}

}  // namespace quorvane
