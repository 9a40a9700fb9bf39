#pragma once
// The abstract drive, file and directory classes through which the program handles a file system
// without naming it, and the list that owns the drives. A file system plugs in behind them: it
// supplies a TFileSystem (a test of the volume's first sector and a maker of its drive) and
// implementations of the three classes (the FAT engine's TFATdrive, TFATFile, TFATDirectory). The
// scan driver and the analysis use only what is declared here. The virtual operations are declared
// in a fixed order, which the implementations follow; operations added later come after them.
#include "disk/sector_ranges.h"
#include "disk/view_items.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

class TDevice;
class TCustomDirectory;
class TCustomFile;
class TScanServices;

// The common base of everything a directory's children list holds.
class TObject {
public:
    virtual ~TObject() = default;
};

// A directory's children: the directory and file objects read from it, owned by the list.
using TChildList = std::vector<std::unique_ptr<TObject>>;

// Called by ForEachChild for each directory and file object; false ends the visit.
using TForEachChildCallback = std::function<bool(TObject& Item, std::uint32_t UserData)>;

class TCustomDrive : public TObject {
public:
    TCustomDrive() = default;
    TCustomDrive(const TCustomDrive&) = delete;
    TCustomDrive& operator=(const TCustomDrive&) = delete;
    // Frees what the drive owns: its start directories (and with them every object read below
    // them) and whatever the implementation adds.
    ~TCustomDrive() override;

    // Reads Count sectors at drive-relative Sector.
    virtual bool ReadSec(std::int32_t Sector, std::uint16_t Count, void* Buffer, bool Prompt) = 0;
    // Reads the boot sector, works out the geometry and creates the four start directories.
    // Silent suppresses the volume's messages.
    virtual bool MountDrive(bool Silent) = 0;
    // Searches the data area for lost directories and files.
    virtual void FindLostData() = 0;
    virtual void AddDriveToTree(TTreeView* TreeView) = 0;
    // Adds the columns of the drive's file list.
    virtual void AddListViewColumns(TListView& ListView) = 0;
    // Counts the media files and the folders of the chosen start directories.
    virtual bool AnalyzeTotalFile(bool Root, bool Deleted, bool Lost, std::int32_t& Files,
                                  std::int32_t& Folders) = 0;
    // Collects the media files of the chosen start directories into "Searched".
    virtual bool FindFiles(bool Root, bool Deleted, bool Lost) = 0;
    virtual void SaveListViewItems(TListView& ListView) = 0;
    // Whether the lost data search may run on this drive (the scan driver's option).
    virtual void SetLostSearchOption(bool On) = 0;

    // Where the volume's clusters lie on the device: the rebuild of files in pieces tries
    // continuations cluster by cluster. Empty until the drive is mounted.
    struct TClusterGrid {
        std::uint32_t SectorsPerCluster = 0;  // 512-byte sectors; 0 when unknown
        std::uint64_t Origin = 0;             // device sector of the first cluster
    };
    virtual TClusterGrid ClusterGrid() const { return {}; }

    // The scan driver this drive reports to: the one its list was given, else the program's.
    TScanServices& Services() const;

    // Visits the chosen start directories, in this order: the deleted entries (descending through
    // live directories), the lost items, the live tree. The lost directories are visited with
    // their deleted entries as well as their live ones: the lost data search's walks follow
    // deleted entries and account for their clusters, so a picture deleted before the card was
    // formatted comes back by its entry here or not at all. A stop ends the remaining visits; a
    // damaged directory ends its own visit only.
    void VisitStartDirectories(bool Root, bool Deleted, bool Lost, const TForEachChildCallback& Callback);
    // Counts the files that IsCounted takes (by name) and the folders of the chosen start
    // directories, into the scan driver's counts as well. True.
    bool CountStartDirectories(bool Root, bool Deleted, bool Lost,
                               const std::function<bool(const std::string&)>& IsCounted, std::int32_t& Files,
                               std::int32_t& Folders);

    TDevice* Device = nullptr;        // not owned
    TScanServices* ScanServices = nullptr;  // not owned; set by the drive list
    std::string Name;                 // the volume label once mounted
    std::uint8_t Flags = 0;
    std::uint32_t BootSector = 0;     // device sector of the drive's boot sector
    std::uint32_t StartSector = 0;    // device sector of the drive's relative sector 0
    std::uint32_t SectorCount = 0;
    // While set, every sector read to copy a file's data is added here (in the device's sectors):
    // the combined run passes over those sectors when it carves.
    TSectorRanges* FileSectorsRead = nullptr;  // not owned
    // Whether the lost data search lists media files that no lost directory names ("cluster N.JPG").
    // The combined run leaves those to its scan, whose start tests are stricter and whose files end
    // where their format says.
    bool LoneLostFiles = true;
    // Whether MountDrive succeeded when the drive list made the drive; a drive that failed to
    // mount has said why and holds nothing to search.
    bool Mounted = false;
    // The start directories, created by mounting and owned by the drive: live entries, deleted
    // entries (the same directory as "Root"), what the lost data search found, and what the file
    // search collected.
    std::unique_ptr<TCustomDirectory> RootDir;
    std::unique_ptr<TCustomDirectory> DeletedDir;
    std::unique_ptr<TCustomDirectory> LostDir;
    std::unique_ptr<TCustomDirectory> SearchedDir;
};

// State bit of a file or directory made from a deleted entry.
inline constexpr std::uint8_t StateDeleted = 1;

class TCustomFile : public TObject {
public:
    // Copies Name, Drive, State, Condition, Parent and DataNotFound; the size is copied by the
    // implementation.
    virtual void duplicate(TCustomFile& Target) const;
    virtual bool Rename(const std::string& NewName) = 0;
    // The path of the file's folders below Upto.
    virtual std::string GetPath(const TCustomDirectory* Upto) const = 0;
    virtual void ChangeListViewItem(TListItem& Item) const = 0;
    // Marks the file as handed to the recovery, so a later file search passes over it.
    virtual void MarkRecovered() = 0;
    // Copies the file's data into a new file in Folder, named after the file. SavedPath receives
    // the path written, also when the copy is incomplete. True when the whole file was copied.
    virtual bool SaveCopy(const std::string& Folder, std::string* SavedPath) = 0;
    // Whether the last SaveCopy failed because the folder's disk is full.
    virtual bool LastSaveWasDiskFull() const = 0;
    // What the file's copy is made of, as a number: two files of one drive with the same non-zero
    // key copy the same bytes (entries cross-linked to one chain). 0 when the file has no such key.
    virtual std::uint64_t DataKey() const { return 0; }
    // The device sector of the file's first byte; 0 when not known.
    virtual std::uint64_t FirstDeviceSector() const { return 0; }
    // The time the file was last written, as its entry gives it, in seconds since 1970 (UTC); 0
    // when the entry gives none.
    virtual std::int64_t ModifiedTime() const { return 0; }
    // The file's own name made a host file name, for a file system that spells names in Unicode
    // (exFAT), whose characters Name (8-bit) cannot all hold; empty when Name is all there is.
    virtual std::string HostFileName() const { return {}; }

    std::string Name;
    std::uint32_t Size = 0;
    TCustomDrive* Drive = nullptr;      // not owned
    std::uint8_t State = 0;             // StateDeleted for a deleted entry
    std::uint8_t Condition = 0;         // 0 live; 1 or 2 for a deleted entry
    TCustomDirectory* Parent = nullptr; // the directory whose Children hold the file; not owned
    // The file's data could not be found on the medium (its entry points at another file's data
    // and no other place fits): it is reported as not recoverable instead of being copied.
    bool DataNotFound = false;
    // The folders the file was listed in on the card, below its start directory, '/' between
    // them ("DCIM/100CANON"); set when the file search collects it. Empty for a file in the top
    // folder, and for lost files that no directory names.
    std::string OriginalFolder;
    // Whether the file has a name of its own from a directory entry (not one the search made up).
    bool HasOwnName = false;
};

class TCustomDirectory : public TObject {
public:
    TCustomDirectory() = default;
    TCustomDirectory(const TCustomDirectory&) = delete;
    TCustomDirectory& operator=(const TCustomDirectory&) = delete;
    // Frees the children, then drops the list.
    ~TCustomDirectory() override;

    // Copies Name, Drive, Mark, State, Condition, Children (the list itself is shared, not copied)
    // and Parent.
    virtual void duplicate(TCustomDirectory& Target) const;
    // Frees every child and empties the list; the list itself stays. Nothing happens without one.
    virtual void DeleteChildren();
    // The directory's path below Upto.
    virtual std::string GetPath(const TCustomDirectory* Upto) const = 0;
    virtual bool Rename(const std::string& NewName) = 0;
    virtual void AddDirToTree(TTreeView* TreeView, TTreeNode* Node, bool flag) = 0;
    virtual void ChangeListViewItem(TListItem& Item) const = 0;
    virtual void AddChildrenToListView(TListView& ListView, bool flag) = 0;
    // The sort order of two list items for a column: negative, 0 or positive.
    virtual std::int32_t CompareChildren(const TListItem& Item1, const TListItem& Item2,
                                         std::int32_t Column) const = 0;
    // Whether a subdirectory is among the children read.
    virtual bool ChildIsSubDir() const = 0;
    // Visits the children (reading them first when needed): Callback for each, and with Recursive
    // each subdirectory's visit right after its own callback. Without IncludeDeleted only live
    // entries; with OnlyDeleted only deleted files (directories are always walked). False when a
    // callback returned false; a directory that reads no children has nothing to visit.
    virtual bool ForEachChild(const TForEachChildCallback&, bool /*IncludeDeleted*/, bool /*OnlyDeleted*/,
                              bool /*Recursive*/, std::uint32_t /*UserData*/) {
        return true;
    }

    std::string Name;
    TCustomDrive* Drive = nullptr;       // not owned
    std::uint8_t Mark = 0;
    std::uint8_t State = 0;
    std::uint8_t Condition = 0;
    std::shared_ptr<TChildList> Children;  // null until the entries have been read
    TCustomDirectory* Parent = nullptr;    // not owned; null for a start directory
};

// A file system the program reads from raw sectors.
class TFileSystem {
public:
    virtual ~TFileSystem() = default;
    // A short name for messages and the drive list: "FAT".
    virtual const char* Name() const = 0;
    // Whether a volume whose first sector holds these bytes is of this file system. Size is the
    // sector size; at least 512 bytes are given.
    virtual bool Recognises(const std::uint8_t* FirstSector, std::size_t Size) const = 0;
    // A new drive of this file system, not yet mounted.
    virtual std::unique_ptr<TCustomDrive> MakeDrive() const = 0;
};

// The file systems a drive list tries, in order. The first also takes volumes that none
// recognises: its mounting then fails and says why.
using TFileSystems = std::vector<const TFileSystem*>;

class TDriveList {
public:
    // Services: the scan driver the list's drives report to (nullptr: the program's).
    explicit TDriveList(TFileSystems FileSystems, TScanServices* Services = nullptr);
    ~TDriveList();
    TDriveList(const TDriveList&) = delete;
    TDriveList& operator=(const TDriveList&) = delete;

    // Frees every drive and empties the list.
    void clear();
    // Makes, adds, mounts and returns the drive of a device, of the first file system that
    // recognises its sector 0; nullptr when that sector cannot be read. A drive whose mounting
    // failed is still added and returned, with Mounted false.
    TCustomDrive* GetFATDrive(TDevice* Device);

    TCustomDrive* Add(std::unique_ptr<TCustomDrive> Drive);
    std::size_t Count() const { return Items.size(); }
    TCustomDrive* operator[](std::size_t i) const { return Items[i].get(); }

private:
    TFileSystems FileSystems;
    TScanServices* Services;
    std::vector<std::unique_ptr<TCustomDrive>> Items;
};

}  // namespace quorvane
