#include "app/staged_list.h"

#include "app/file_naming.h"
#include "app/program_folder.h"
#include "app/saved_paths.h"
#include "platform/file_copy.h"

#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

void TStagedList::Add(const std::string& path, TStagedOrigin origin) {
    TStagedFile file;
    file.Path = path;
    file.Origin = std::move(origin);
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0) file.Size = static_cast<std::uint64_t>(st.st_size);
    files_.push_back(std::move(file));
}

void TStagedList::SetSelected(std::size_t index, bool selected) {
    if (index < files_.size()) files_[index].Selected = selected;
}

void TStagedList::SetCondition(std::size_t index, TFileCondition condition) {
    if (index < files_.size()) files_[index].Condition = condition;
}

void TStagedList::SetFirstSector(std::size_t index, std::uint64_t sector) {
    if (index < files_.size()) files_[index].Origin.FirstSector = sector;
}

void TStagedList::UpdateSize(std::size_t index) {
    if (index >= files_.size()) return;
    struct stat st{};
    files_[index].Size = ::stat(files_[index].Path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

void TStagedList::SelectAll(bool selected) {
    for (auto& f : files_) f.Selected = selected;
}

TSaveOutcome TStagedList::SaveSelected(const std::string& destination, const std::string& prefixText, bool keepNames) {
    const std::string folder = WithTrailingSlash(destination);
    const std::string prefix = SafePrefix(prefixText);
    std::int64_t bump = 0;  // shared by all files of this save, so the numbers keep the staged order
    std::string failures;
    TSaveOutcome outcome;
    // An empty field would otherwise mean the root folder.
    std::string folderProblem;
    MakeDestinationFolder(destination, folderProblem);
    for (std::size_t j = 0; j < files_.size(); ++j) {
        auto& file = files_[j];
        if (!file.Selected) continue;
        if (!folderProblem.empty()) {
            file.SaveError = folderProblem;
            if (++outcome.Failed <= 10) failures += "\n" + file.Path + ": " + file.SaveError;
            continue;
        }
        if (keepNames && !file.Origin.OriginalPath.empty()) {
            std::string error;
            if (SaveUnderOriginalPath(file, folder, error)) {
                file.SaveError.clear();
            } else {
                file.SaveError = error;
                if (++outcome.Failed <= 10) failures += "\n" + file.Path + ": " + file.SaveError;
            }
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
                SetModifiedTime(name, file.Origin.ModifiedTime);
                break;
            }
            if (r.status == CopyStatus::TargetExists && bump < NameOffsetLimit) {
                ++bump;
                continue;
            }
            file.SaveError = r.status == CopyStatus::TargetExists ? "no free name left for " + name : r.error;
            if (++outcome.Failed <= 10) failures += "\n" + file.Path + ": " + file.SaveError;
            break;
        }
    }
    const int failed = outcome.Failed;
    if (failed > 0) {
        outcome.Warning = std::to_string(failed) + (failed == 1 ? " file" : " files") + " could not be saved to " + folder +
                          ":" + failures + (failed > 10 ? "\n..." : "") +
                          "\nThe recovered files that were not saved are kept where they are listed.";
    }
    return outcome;
}

std::size_t TStagedList::SavedCount() const {
    std::size_t n = 0;
    for (const auto& f : files_) n += f.SavedAs.empty() ? 0 : 1;
    return n;
}

void TStagedList::DeleteStagedFiles() const {
    for (const auto& file : files_) {
        if (!file.SaveError.empty()) continue;  // the only copy of a file the user wanted
        ::unlink(file.Path.c_str());
    }
}

}  // namespace quorvane
