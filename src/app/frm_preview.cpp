#include "app/frm_preview.h"

#include "app/file_naming.h"
#include "app/frm_main.h"
#include "app/program_folder.h"
#include "app/ui.h"
#include "platform/file_copy.h"

#include <sys/stat.h>
#include <unistd.h>

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

void TFrmPreview::AddFile(const std::string& path) {
    TStagedFile file;
    file.Path = path;
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0) file.Size = static_cast<std::uint64_t>(st.st_size);
    staged_.push_back(std::move(file));
    ScrollBarPreview.SetMax(static_cast<int>(staged_.size() / 5));
    ShowPage();
    stagedChanged();
}

bool TFrmPreview::SaveSelected() {
    UI().SetBusyCursor(true);
    const std::string folder = WithTrailingSlash(main_.EditDestPath.Text());
    const std::string prefix = SafePrefix(main_.EditFilenamePrefix.Text());
    std::int64_t bump = 0;  // shared by all files of this save, so the numbers keep the staged order
    std::string failures;
    int failed = 0;
    // An empty field would otherwise mean the root folder.
    std::string folderProblem;
    MakeDestinationFolder(main_.EditDestPath.Text(), folderProblem);
    for (std::size_t j = 0; j < staged_.size(); ++j) {
        auto& file = staged_[j];
        if (!file.Selected) continue;
        if (!folderProblem.empty()) {
            file.SaveError = folderProblem;
            if (++failed <= 10) failures += "\n" + file.Path + ": " + file.SaveError;
            continue;
        }
        const std::string ext = ExtensionWithDot(file.Path);
        // The copy never replaces a file: a name that exists, or appears meanwhile, is passed over.
        for (;;) {
            const std::string name = folder + prefix + std::to_string(static_cast<std::int64_t>(j) + bump) + ext;
            const CopyResult r = CopyToNewFile(file.Path, name);
            if (r.status == CopyStatus::Done) {
                file.SavedAs = name;
                file.SaveError.clear();
                break;
            }
            if (r.status == CopyStatus::TargetExists && bump < NameOffsetLimit) {
                ++bump;
                continue;
            }
            file.SaveError = r.status == CopyStatus::TargetExists ? "no free name left for " + name : r.error;
            ++failed;
            if (failed <= 10) failures += "\n" + file.Path + ": " + file.SaveError;
            break;
        }
    }
    UI().SetBusyCursor(false);
    if (failed > 0) {
        std::string text = std::to_string(failed) + (failed == 1 ? " file" : " files") + " could not be saved to " + folder + ":" +
                           failures + (failed > 10 ? "\n..." : "") +
                           "\nThe recovered files that were not saved are kept where they are listed.";
        ShowWarning(text);
    }
    return failed == 0;
}

void TFrmPreview::DeleteStagedFiles() {
    for (const auto& file : staged_) {
        if (!file.SaveError.empty()) continue;  // the only copy of a file the user wanted
        ::unlink(file.Path.c_str());
    }
}

void TFrmPreview::ResetPreview() {
    SetSlotsVisible(false);
    ScrollBarPreview.SetMax(0);
    ScrollBarPreview.SetPosition(0);
    staged_.clear();
    stagedChanged();
}

void TFrmPreview::ButtonSelectAllClick() {
    for (auto& f : staged_) f.Selected = true;
    for (auto& slot : slots_) slot->CBPreview.SetChecked(true);
    stagedChanged();
}

void TFrmPreview::ButtonSelectNoneClick() {
    for (auto& f : staged_) f.Selected = false;
    for (auto& slot : slots_) slot->CBPreview.SetChecked(false);
    stagedChanged();
}

void TFrmPreview::SetSelected(std::size_t index, bool selected) {
    if (index >= staged_.size()) return;
    staged_[index].Selected = selected;
    stagedChanged();
}

}  // namespace quorvane
