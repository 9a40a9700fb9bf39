// Counting and collecting the media files of a drive's start directories: the live tree ("Root"),
// the deleted entries at any depth ("Deleted") and what the lost data search found ("Lost").
#include "fat/fat_drive.h"
#include "fat/fat_objects.h"
#include "disk/scan_services.h"
#include "fat/fat_saved_names.h"
#include "media/filedet.h"

#include <memory>

namespace quorvane {

bool TFATdrive::AnalyzeTotalFile(bool Root, bool Deleted, bool Lost, std::int32_t& Files, std::int32_t& Folders) {
    const auto isMedia = [](const std::string& Name) { return IsMediaFileName(Name); };
    return CountStartDirectories(Root, Deleted, Lost, isMedia, Files, Folders);
}

bool TFATdrive::FindFiles(bool Root, bool Deleted, bool Lost) {
    TScanServices& scan = Services();
    if (TFATDirectory* searched = FATSearchedDir()) {
        searched->DeleteChildren();
        searched->Mark = 0;
    }
    // The copies go to the scan driver's current drive, which is this one in every run.
    auto* current = dynamic_cast<TFATdrive*>(scan.Drive);
    TFATdrive* owner = current != nullptr ? current : this;
    TFATDirectory* target = owner->FATSearchedDir();
    if (!target) return true;
    if (!target->Children) target->Children = std::make_shared<TChildList>();

    TFATDirectory* lostDir = FATLostDir();
    VisitStartDirectories(Root, Deleted, Lost, [&scan, target, lostDir](TObject& Item, std::uint32_t) {
        if (auto* file = dynamic_cast<TFATFile*>(&Item)) {
            if (IsMediaFileName(file->Name) && file->InRecoverList == 0) {
                // The visited object lives only until the visit of its directory ends.
                auto copy = std::make_unique<TFATFile>();
                file->duplicate(*copy);
                // Where it was listed, below the start directory the visit began at.
                // Each folder's name as a file name here (Windows-1252 to UTF-8, made safe), as
                // the file's own name is when it is saved.
                std::string folder;
                for (const TCustomDirectory* d = file->Parent; d != nullptr && d->Parent != nullptr; d = d->Parent)
                    folder = folder.empty() ? SavedFileName(d->Name) : SavedFileName(d->Name) + "/" + folder;
                copy->OriginalFolder = folder;
                // A lost file found on its own is named after its cluster by the search.
                copy->HasOwnName = !(file->Parent == lostDir && (file->State & StateLost) != 0);
                copy->Parent = target;
                target->Children->push_back(std::move(copy));
                scan.ProcessMessages();
            }
        } else if (dynamic_cast<TCustomDirectory*>(&Item)) {
            scan.ProcessMessages();
        }
        return !scan.Stopped;
    });
    return true;
}

}  // namespace quorvane
