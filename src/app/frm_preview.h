#pragma once
// The preview window without its toolkit: the run's staged files with their check marks,
// the copy of the ticked ones into the destination folder, and the clean-up of the staging
// folder. The pictures of a page are drawn by the front end.
#include "app/controls.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

class TFrmMain;

struct TStagedFile {
    std::string Path;      // in the run's working folder
    bool Selected = true;
    std::uint64_t Size = 0;
    std::string SavedAs;   // set by SaveSelected when the copy succeeded
    std::string SaveError; // why the copy failed; the staged file is then kept
};

class TFrmPreview {
public:
    explicit TFrmPreview(TFrmMain& main);
    // Deletes the staged files: a run leaves nothing behind in the temporary folder except
    // files whose copy failed, which the failure message points to.
    ~TFrmPreview();
    TFrmPreview(const TFrmPreview&) = delete;
    TFrmPreview& operator=(const TFrmPreview&) = delete;

    void AddFile(const std::string& path);
    // Copies every selected file to the destination as prefix + number + extension.
    // Answers false when a copy failed (the failures were reported).
    bool SaveSelected();
    void DeleteStagedFiles();
    void ResetPreview();

    void ButtonSelectAllClick();
    void ButtonSelectNoneClick();
    void SetSelected(std::size_t index, bool selected);

    const std::vector<TStagedFile>& Staged() const { return staged_; }

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

    TFrmMain& main_;
    std::vector<TStagedFile> staged_;
};

}  // namespace quorvane
