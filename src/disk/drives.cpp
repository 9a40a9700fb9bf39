#include "disk/drives.h"

#include "disk/devices.h"
#include "disk/scan_services.h"

#include <algorithm>

namespace quorvane {

TCustomDrive::~TCustomDrive() = default;

TScanServices& TCustomDrive::Services() const { return ScanServices != nullptr ? *ScanServices : FrmFATScan(); }

void TCustomDrive::VisitStartDirectories(bool Root, bool Deleted, bool Lost, const TForEachChildCallback& Callback) {
    struct Visit {
        bool wanted;
        TCustomDirectory* dir;
        bool includeDeleted, onlyDeleted;
        std::uint32_t userData;
    };
    const Visit visits[] = {
        {Deleted, DeletedDir.get(), true, true, 1},
        {Lost, LostDir.get(), true, false, 0},
        {Root, RootDir.get(), false, false, 0},
    };
    for (const Visit& v : visits) {
        if (Services().Stopped) return;
        if (!v.wanted || !v.dir) continue;
        try {
            v.dir->ForEachChild(Callback, v.includeDeleted, v.onlyDeleted, true, v.userData);
        } catch (...) {
            // A damaged directory ends its own visit only.
        }
    }
}

bool TCustomDrive::CountStartDirectories(bool Root, bool Deleted, bool Lost,
                                         const std::function<bool(const std::string&)>& IsCounted, std::int32_t& Files,
                                         std::int32_t& Folders) {
    TScanServices& scan = Services();
    scan.FoundFiles = 0;
    scan.FoundFolders = 0;
    VisitStartDirectories(Root, Deleted, Lost, [&scan, &IsCounted](TObject& Item, std::uint32_t) {
        if (auto* file = dynamic_cast<TCustomFile*>(&Item)) {
            if (IsCounted(file->Name)) {
                ++scan.FoundFiles;
                scan.ProcessMessages();
            }
        } else if (dynamic_cast<TCustomDirectory*>(&Item)) {
            ++scan.FoundFolders;
            scan.ProcessMessages();
        }
        return !scan.Stopped;
    });
    Files = scan.FoundFiles;
    Folders = scan.FoundFolders;
    return true;
}

void TCustomFile::duplicate(TCustomFile& Target) const {
    Target.Name = Name;
    Target.Drive = Drive;
    Target.State = State;
    Target.Condition = Condition;
    Target.Parent = Parent;
    Target.DataNotFound = DataNotFound;
    Target.OriginalFolder = OriginalFolder;
    Target.HasOwnName = HasOwnName;
}

TCustomDirectory::~TCustomDirectory() {
    DeleteChildren();
    Children.reset();
}

void TCustomDirectory::duplicate(TCustomDirectory& Target) const {
    Target.Name = Name;
    Target.Drive = Drive;
    Target.Mark = Mark;
    Target.State = State;
    Target.Condition = Condition;
    Target.Children = Children;
    Target.Parent = Parent;
}

void TCustomDirectory::DeleteChildren() {
    if (Children) Children->clear();
}

TDriveList::TDriveList(TFileSystems FileSystems, TScanServices* Services)
    : FileSystems(std::move(FileSystems)), Services(Services) {}

TDriveList::~TDriveList() { clear(); }

TCustomDrive* TDriveList::GetFATDrive(TDevice* Device) {
    if (!Device || FileSystems.empty()) return nullptr;
    // Large enough for one sector of any size a device reports, so no test overruns it.
    std::vector<std::uint8_t> sector(65536);
    if (!Device->ReadSec(0, 1, sector.data(), Device->Flags != 1)) return nullptr;
    const std::size_t sectorSize = std::clamp<std::size_t>(Device->BytesPerSector, 512, sector.size());
    const TFileSystem* chosen = FileSystems.front();
    for (const TFileSystem* fs : FileSystems) {
        if (fs->Recognises(sector.data(), sectorSize)) {
            chosen = fs;
            break;
        }
    }
    std::unique_ptr<TCustomDrive> drive = chosen->MakeDrive();
    drive->Flags = 0;
    drive->Device = Device;
    drive->ScanServices = Services;
    drive->BootSector = 0;
    drive->StartSector = 0;
    drive->SectorCount = Device->TotalSectors;
    TCustomDrive* added = Add(std::move(drive));
    added->Mounted = added->MountDrive(false);
    return added;
}

void TDriveList::clear() { Items.clear(); }

TCustomDrive* TDriveList::Add(std::unique_ptr<TCustomDrive> Drive) {
    Items.push_back(std::move(Drive));
    return Items.back().get();
}

}  // namespace quorvane
