#include "app/frm_preview.h"

#include "app/recovery_report.h"

#include "app/frm_main.h"
#include "app/ui.h"

namespace quorvane {

TFrmPreview::TFrmPreview(TFrmMain& main) : main_(main) {
    for (int k = 1; k <= TPreviewSlot::Count; ++k) slots_.push_back(std::make_unique<TPreviewSlot>(k));
    Form.SetVisible(false);
    ButtonCancel.SetVisible(false);
    ResetPreview();
}

TFrmPreview::~TFrmPreview() {
    UI().SetBusyCursor(true);
    DeleteStagedFiles();
    UI().SetBusyCursor(false);
    if (main_.FrmPreview == this) main_.FrmPreview = nullptr;
}

void TFrmPreview::stagedChanged() {
    if (onStagedChanged) onStagedChanged();
}

void TFrmPreview::AddFile(const std::string& path, TStagedOrigin origin) {
    list_.Add(path, std::move(origin));
    ScrollBarPreview.SetMax(static_cast<int>(list_.Size() / 5));
    ShowPage();
    stagedChanged();
}

bool TFrmPreview::SaveSelected() {
    UI().SetBusyCursor(true);
    const std::string destination = main_.EditDestPath.Text();
    const TSaveOutcome outcome = list_.SaveSelected(destination, main_.EditFilenamePrefix.Text(), main_.CBKeepNames.Checked());
    // The report of what was saved, as the command line leaves it.
    std::string reportError;
    if (list_.SavedCount() > 0 &&
        !WriteRecoveryReport(destination, {{"destination", destination}, {"files", StagedFilesJson(list_)}}, reportError)) {
        ShowWarning(reportError);
    }
    UI().SetBusyCursor(false);
    if (outcome.Failed > 0) ShowWarning(outcome.Warning);
    return outcome.Failed == 0;
}

void TFrmPreview::DeleteStagedFiles() { list_.DeleteStagedFiles(); }

void TFrmPreview::ResetPreview() {
    SetSlotsVisible(false);
    ScrollBarPreview.SetMax(0);
    ScrollBarPreview.SetPosition(0);
    list_.Clear();
    stagedChanged();
}

void TFrmPreview::ButtonSelectAllClick() {
    list_.SelectAll(true);
    for (auto& slot : slots_) slot->CBPreview.SetChecked(true);
    stagedChanged();
}

void TFrmPreview::ButtonSelectNoneClick() {
    list_.SelectAll(false);
    for (auto& slot : slots_) slot->CBPreview.SetChecked(false);
    stagedChanged();
}

void TFrmPreview::SetSelected(std::size_t index, bool selected) {
    if (index >= list_.Size()) return;
    list_.SetSelected(index, selected);
    stagedChanged();
}

void TFrmPreview::SetCondition(std::size_t index, TFileCondition condition) {
    if (index >= list_.Size()) return;
    list_.SetCondition(index, condition);
    // A slot scrolled onto this file later takes the condition from the list.
    for (auto& slot : slots_) {
        if (slot->Index == static_cast<int>(index) && slot->PnPreview.Visible()) showCondition(*slot, condition);
    }
}

}  // namespace quorvane
