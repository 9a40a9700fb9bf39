// The main window's settings, its menu, help and closing.
#include "app/frm_fat_scan.h"
#include "app/frm_main.h"
#include "app/frm_preview.h"
#include "app/frm_select_folder_dialog.h"
#include "app/recovery_run.h"
#include "app/program_folder.h"
#include "app/settings.h"
#include "app/ui.h"
#include "app/window_host.h"
#include "platform/drive_table.h"

namespace quorvane {

TWindowHost& TFrmMain::windows() { return Windows != nullptr ? *Windows : NonInteractiveWindows(); }

void TFrmMain::LoadSettings() {
    if (Settings == nullptr) return;
    std::string path = Settings->ReadString(SettingsOptions, "Save Path", "");
    const std::string prefix = Settings->ReadString(SettingsOptions, "Prefix", "image");
    const std::string preview = Settings->ReadString(SettingsOptions, "Preview", "1");
    if (!IsFolder(path)) path = DefaultDestinationFolder();
    EditDestPath.SetText(path);
    // The stored prefix is shown again: the user chose it last time.
    EditFilenamePrefix.SetText(prefix);
    cb_preview.SetChecked(preview == "1");
    CBKeepNames.SetChecked(Settings->ReadString(SettingsOptions, "Keep Names", "0") == "1");
}

void TFrmMain::SaveSettings() {
    if (Settings == nullptr) return;
    Settings->WriteString(SettingsOptions, "Save Path", EditDestPath.Text());
    Settings->WriteString(SettingsOptions, "Prefix", EditFilenamePrefix.Text());
    Settings->WriteString(SettingsOptions, "Preview", cb_preview.Checked() ? "1" : "0");
    Settings->WriteString(SettingsOptions, "Keep Names", CBKeepNames.Checked() ? "1" : "0");
}

bool TFrmMain::FormCloseQuery() {
    TerminateAfterRun = true;
    StopFlag = true;
    if (run_) run_->Cancel();
    if (ScanDriver) ScanDriver->StopScan();
    PumpMessages();
    // Cancel is enabled exactly while a run or a wipe goes on: that one stops now, and the
    // Start command ends the program once its files are saved. A window whose drive is not
    // ready can still be closed.
    if (ButtonCancel.Enabled()) {
        LastRun.Cancelled = true;
        return false;
    }
    return true;
}

void TFrmMain::FormClose() {
    StopFlag = true;
    SaveSettings();
    ScanDriver.reset();
}

void TFrmMain::cb_previewClick() {
    if (FrmPreview == nullptr) return;
    // Ticked during a run, the preview comes up beside the main window too, clear of Cancel.
    if (cb_preview.Checked() && !FrmPreview->Form.Visible()) windows().PlacePreviewBesideMain(*FrmPreview);
    FrmPreview->Form.SetVisible(cb_preview.Checked());
}

void TFrmMain::ButtonBrowseClick() { EditDestPath.SetText(ChooseFolder(EditDestPath.Text(), windows())); }

bool TFrmMain::AddImage(const std::string& path, std::string& error) {
    const auto numbers = DriveTable::instance().addPath(path, error);
    if (numbers.empty()) return false;
    FillDriveList();
    // The whole image comes first; the FAT volume of a partitioned one is its first partition.
    return SelectDrive(numbers.size() > 1 ? numbers[1] : numbers[0]);
}

bool TFrmMain::ButtonMainMouseDown() const { return ButtonStart.Enabled(); }

void TFrmMain::ButtonMainClick() {
    if (ButtonStart.Enabled()) ActivePage = TPage::TSRecover;
}

void TFrmMain::ButtonUtilClick() {
    if (ButtonStart.Enabled()) ActivePage = TPage::TSUtil;
}

void TFrmMain::ButtonOptionsClick() {
    if (ButtonStart.Enabled()) ActivePage = TPage::TSOptions;
}

void TFrmMain::ButtonHelpClick() { windows().OpenHelp(HelpFolder() + "index.html"); }

void TFrmMain::ButtonAboutClick() { windows().ShowAbout(); }

}  // namespace quorvane
