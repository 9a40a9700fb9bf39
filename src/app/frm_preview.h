#pragma once
// The preview window without its toolkit: the run's staged files with their check marks,
// the copy of the ticked ones into the destination folder, and the clean-up of the staging
// folder. The list itself is a TStagedList; the pictures of a page are drawn by the front end.
#include "app/controls.h"
#include "app/preview_slots.h"
#include "app/staged_list.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

class TFrmMain;
enum class TModalResult;

// What Cancel in "Save Images" asks before the files found are thrown away.
std::string DiscardFilesQuestion(std::size_t files);

class TFrmPreview {
public:
    explicit TFrmPreview(TFrmMain& main);
    // Deletes the staged files: a run leaves nothing behind in its working folder except files
    // whose copy failed, which the failure message points to.
    ~TFrmPreview();
    TFrmPreview(const TFrmPreview&) = delete;
    TFrmPreview& operator=(const TFrmPreview&) = delete;

    void AddFile(const std::string& path, TStagedOrigin origin = {});
    // Copies every selected file to the destination as prefix + number + extension.
    // Answers false when a copy failed (the failures were reported).
    bool SaveSelected();
    void DeleteStagedFiles();
    void ResetPreview();

    void ButtonSelectAllClick();
    void ButtonSelectNoneClick();
    void SetSelected(std::size_t index, bool selected);
    // The staged file at index was checked; the slot showing it, if any, shows its mark.
    void SetCondition(std::size_t index, TFileCondition condition);

    const std::vector<TStagedFile>& Staged() const { return list_.Files(); }

    // The page of ten slots for the scroll bar's position. Only slots given another file, or
    // hidden before, are drawn again.
    void ShowPage();
    // Shows or hides all ten panels; every slot then shows no file.
    void SetSlotsVisible(bool visible);
    void ScrollBarPreviewScroll();
    // The check box of slot k (1 .. 10) was clicked; its Checked state is the new mark.
    void CBPreviewClick(int k);
    // During a run: hides the window and unticks the main window's "Preview". After it: saves
    // the selected files and closes the window.
    void ButtonOKClick();
    // After a run: asks before the files found are thrown away unsaved; No keeps the window open.
    void ButtonCancelClick();
    // A picture that LoadPicture accepted could not be decoded after all (a view that decodes
    // in the background): its slot shows the type label instead, if it still shows that file.
    void PictureFailed(int k, const std::string& path);
    // Draws every slot of the page again, pictures included.
    void RedrawPage();

    TPreviewSlot& Slot(int k) { return *slots_[static_cast<std::size_t>(k - 1)]; }
    const TPreviewSlot& Slot(int k) const { return *slots_[static_cast<std::size_t>(k - 1)]; }

    // The window itself: its caption and whether it is shown.
    TLabel Form{"FrmPreview", "Preview"};
    static constexpr int ClientWidth = 567;
    static constexpr int ClientHeight = 294;
    TModalResult ModalResult{};
    // Set while a page is drawn, so a scroll meanwhile does not start a second one.
    bool Busy = false;
    // Loads the picture of a file into slot k; false when it cannot be loaded. Set by the view;
    // without one every file is shown by its type label.
    std::function<bool(int k, const std::string& path)> LoadPicture;
    // Told, before a page is drawn, which pictures it is about to load, so a view can decode
    // them side by side; LoadPicture is still called for each.
    std::function<void(const std::vector<std::string>& paths)> PreparePictures;

    // One step of the scroll bar is one row of five files.
    TTrackBar ScrollBarPreview{"ScrollBarPreview", 0, 0, 0, 1};
    TButton ButtonOK{"ButtonOK", "OK"};
    TButton ButtonCancel{"ButtonCancel", "Cancel"};
    TButton ButtonSelectAll{"ButtonSelectAll", "Select All"};
    TButton ButtonSelectNone{"ButtonSelectNone", "Select None"};

    // Told when the staged list changes (files added, marks changed), to redraw the page.
    std::function<void()> onStagedChanged;

private:
    void stagedChanged();

    void showSlot(TPreviewSlot& slot, int index);
    void showTypeLabel(TPreviewSlot& slot, const std::string& path);
    static void showCondition(TPreviewSlot& slot, TFileCondition condition);

    TFrmMain& main_;
    TStagedList list_;
    std::vector<std::unique_ptr<TPreviewSlot>> slots_;
};

}  // namespace quorvane
