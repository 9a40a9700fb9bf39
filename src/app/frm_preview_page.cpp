// The preview window's page of ten slots and its buttons.
#include "app/frm_analyze_drive.h"
#include "app/frm_main.h"
#include "app/frm_preview.h"
#include "app/ui.h"

namespace quorvane {

void TFrmPreview::SetSlotsVisible(bool visible) {
    for (auto& slot : slots_) {
        slot->PnPreview.SetVisible(visible);
        slot->Index = -1;
    }
}

void TFrmPreview::ShowPage() {
    Busy = true;
    UI().SetBusyCursor(true);
    try {
        const int first = ScrollBarPreview.Position() * TPreviewSlot::PerRow;
        if (PreparePictures && LoadPicture) {
            std::vector<std::string> pictures;
            for (auto& slot : slots_) {
                const int i = first + slot->Number - 1;
                if (i >= static_cast<int>(Staged().size()) || (slot->Index == i && slot->PnPreview.Visible())) continue;
                const std::string& path = Staged()[static_cast<std::size_t>(i)].Path;
                if (IsPreviewPictureType(PreviewTypeWord(path))) pictures.push_back(path);
            }
            if (pictures.size() > 1) PreparePictures(pictures);
        }
        for (auto& slot : slots_) {
            const int i = first + slot->Number - 1;
            if (i >= static_cast<int>(Staged().size())) {
                slot->PnPreview.SetVisible(false);
                continue;
            }
            if (slot->Index == i && slot->PnPreview.Visible()) continue;
            showSlot(*slot, i);
        }
    } catch (...) {
        // A page that could not be drawn in full still leaves the window usable.
    }
    Busy = false;
    UI().SetBusyCursor(false);
}

void TFrmPreview::showSlot(TPreviewSlot& slot, int index) {
    const TStagedFile& file = Staged()[static_cast<std::size_t>(index)];
    slot.PnPreview.SetVisible(true);
    slot.ImgPreview.SetVisible(true);
    slot.LBPreview.SetCaption("");
    slot.Index = index;
    slot.CBPreview.SetChecked(file.Selected);
    showCondition(slot, file.Condition);
    const std::string type = PreviewTypeWord(file.Path);
    bool shown = false;
    if (IsPreviewPictureType(type) && LoadPicture) {
        ++slot.PictureLoads;
        try {
            shown = LoadPicture(slot.Number, file.Path);
        } catch (...) {
            shown = false;
        }
    }
    if (!shown) showTypeLabel(slot, file.Path);
}

void TFrmPreview::showTypeLabel(TPreviewSlot& slot, const std::string& path) {
    slot.ImgPreview.SetVisible(false);
    slot.LBPreview.SetCaption(PreviewTypeWord(path) + " File");
}

void TFrmPreview::showCondition(TPreviewSlot& slot, TFileCondition condition) {
    // The state first: a view restyles the mark when its caption or visibility changes.
    slot.Condition = condition;
    slot.LBCondition.SetCaption(ConditionMarkCaption(condition));
    slot.LBCondition.SetVisible(condition != TFileCondition::Unknown);
}

void TFrmPreview::PictureFailed(int k, const std::string& path) {
    if (k < 1 || k > TPreviewSlot::Count) return;
    TPreviewSlot& slot = Slot(k);
    if (slot.Index < 0 || slot.Index >= static_cast<int>(Staged().size())) return;
    if (Staged()[static_cast<std::size_t>(slot.Index)].Path != path || !slot.PnPreview.Visible()) return;
    showTypeLabel(slot, path);
}

void TFrmPreview::RedrawPage() {
    for (auto& slot : slots_) slot->Index = -1;
    ShowPage();
}

void TFrmPreview::ScrollBarPreviewScroll() {
    if (!Busy) ShowPage();
}

void TFrmPreview::CBPreviewClick(int k) {
    if (k < 1 || k > TPreviewSlot::Count) return;
    const TPreviewSlot& slot = Slot(k);
    if (slot.Index < 0 || slot.Index >= static_cast<int>(Staged().size())) return;
    SetSelected(static_cast<std::size_t>(slot.Index), slot.CBPreview.Checked());
}

void TFrmPreview::ButtonOKClick() {
    // The main window's stop flag is clear exactly while a run is going on.
    if (!main_.StopFlag) {
        main_.cb_preview.SetChecked(false);
        Form.SetVisible(false);
        return;
    }
    SaveSelected();
    ModalResult = TModalResult::OK;
}

std::string DiscardFilesQuestion(std::size_t files) {
    if (files == 1) return "Throw away the file found without saving it?";
    return "Throw away the " + std::to_string(files) + " files found without saving them?";
}

void TFrmPreview::ButtonCancelClick() {
    // The staged files go with the window: a slip of the hand must not lose a whole run. No (the
    // default) keeps the window open.
    if (!list_.Files().empty() &&
        UI().MessageBox(DiscardFilesQuestion(list_.Size()), "", MsgIcon::Question, MsgButtons::YesNo, MsgResult::No) !=
            MsgResult::Yes) {
        return;
    }
    ModalResult = TModalResult::Cancel;
}

}  // namespace quorvane
