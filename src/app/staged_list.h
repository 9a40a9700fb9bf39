#pragma once
// The files a run staged in its working folder, each with its check mark, and the copy of the
// ticked ones into the destination folder. The preview window shows such a list; the command
// line saves one as it is.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "media/content_check.h"

namespace quorvane {

// Where a staged file came from.
struct TStagedOrigin {
    std::string Method;             // "folder" (by its directory entry) or "scan" (carved)
    std::string OriginalPath;       // its path on the card ("DCIM/100CANON/IMG_0001.JPG"); "" when unknown
    std::uint64_t FirstSector = 0;  // device sector of the file's first byte; 0 when not known
    std::int64_t ModifiedTime = 0;  // seconds since 1970 (UTC) the saved file is given; 0: none known
};

struct TStagedFile {
    std::string Path;      // in the run's working folder
    bool Selected = true;
    std::uint64_t Size = 0;
    std::string SavedAs;   // set by SaveSelected when the copy succeeded
    std::string SaveError; // why the copy failed; the staged file is then kept
    TFileCondition Condition = TFileCondition::Unknown;  // set once the file has been checked
    TStagedOrigin Origin;
};

// What a save did: how many copies failed, and the warning that says which and where they are.
struct TSaveOutcome {
    int Failed = 0;
    std::string Warning;  // "" when every selected file was saved
};

class TStagedList {
public:
    // Adds a file with its size on disk (0 when it cannot be read).
    void Add(const std::string& path, TStagedOrigin origin = {});
    // Forgets every file; the files stay where they are.
    void Clear() { files_.clear(); }
    void SetSelected(std::size_t index, bool selected);
    void SelectAll(bool selected);
    void SetCondition(std::size_t index, TFileCondition condition);
    void SetFirstSector(std::size_t index, std::uint64_t sector);
    // The file's size on disk again, after it was rewritten in place.
    void UpdateSize(std::size_t index);

    // Copies every selected file into destination (as typed: made when missing, an empty text
    // is no folder) as prefix + its index in the list + its extension. A name that is taken is
    // passed over, and every later file of the same save moves up by one as well. With keepNames,
    // a file whose path on the card is known is saved under that path below destination instead
    // (each part made safe; " (2)", " (3)", ... before the extension when the name is taken).
    // Each saved file gets the origin's modification time when one is known.
    TSaveOutcome SaveSelected(const std::string& destination, const std::string& prefix, bool keepNames = false);

    // Deletes the staged files, except those whose copy failed: they are the only copy of a file
    // the user wanted, and the warning points to them.
    void DeleteStagedFiles() const;

    const std::vector<TStagedFile>& Files() const { return files_; }
    std::size_t Size() const { return files_.size(); }
    // How many files the last saves copied.
    std::size_t SavedCount() const;

private:
    std::vector<TStagedFile> files_;
};

}  // namespace quorvane
