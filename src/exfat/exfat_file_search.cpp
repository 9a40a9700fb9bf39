// Counting and collecting the media files of an exFAT drive's start directories: the live tree
// ("Root"), the deleted entry sets at any depth ("Deleted") and what the lost data search found
// ("Lost"), visited in the same order as on FAT.
#include "disk/scan_services.h"
#include "exfat/exfat_drive.h"
#include "exfat/exfat_objects.h"
#include "exfat/exfat_saved_names.h"
#include "media/filedet.h"

#include <memory>

namespace quorvane {

bool TExFATdrive::AnalyzeTotalFile(bool Root, bool Deleted, bool Lost, std::int32_t& Files, std::int32_t& Folders) {
    const auto isMedia = [](const std::string& Name) { return IsMediaFileName(Name); };
    return CountStartDirectories(Root, Deleted, Lost, isMedia, Files, Folders);
}

bool TExFATdrive::FindFiles(bool Root, bool Deleted, bool Lost) {
    TScanServices& scan = Services();
    if (TExFATDirectory* searched = ExSearchedDir()) {
        searched->DeleteChildren();
        searched->Mark = 0;
    }
    TExFATDirectory* target = ExSearchedDir();
    if (!target) return true;
    if (!target->Children) target->Children = std::make_shared<TChildList>();
    VisitStartDirectories(Root, Deleted, Lost, [&scan, target](TObject& Item, std::uint32_t) {
        if (auto* file = dynamic_cast<TExFATFile*>(&Item)) {
            if (IsMediaFileName(file->Name) && !file->InRecoverList) {
                // The visited object lives only until the visit of its directory ends.
                auto copy = std::make_unique<TExFATFile>();
                file->duplicate(*copy);
                // The folders it was listed in below the start directory, each as a host name.
                std::string folder;
                for (const TCustomDirectory* d = file->Parent; d != nullptr && d->Parent != nullptr; d = d->Parent) {
                    const auto* dir = dynamic_cast<const TExFATDirectory*>(d);
                    const std::string name = ExFATSavedFileName(dir != nullptr ? dir->UnicodeName : d->Name);
                    folder = folder.empty() ? name : name + "/" + folder;
                }
                copy->OriginalFolder = folder;
                copy->HasOwnName = true;
                copy->Parent = target;
                target->Children->push_back(std::move(copy));
            }
        }
        scan.ProcessMessages();
        return !scan.Stopped;
    });
    return true;
}

}  // namespace quorvane
