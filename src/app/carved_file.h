#pragma once
// One file that the scan method is carving: its staged output, how many bytes it holds, and
// where its format says it ends.
//
// A file of a format with an end rule is written with exactly its own bytes: it ends where its
// structure says, however far past the carved-file size limit that is (up to the format's bound).
// Where the structure does not hold, or the format has no end rule, the file ends the old way: at
// the next start found, or once it passes CarvedFileSizeLimit bytes.
#include "app/staged_file.h"
#include "media/file_end.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quorvane {

class CarvedFile {
public:
    // Creates the staged file at path for a file of the format with this extension; with an
    // image, its bytes are copied from there (StagedFileWriter). False when it cannot be created
    // (see Writer().Error()).
    bool Open(const std::string& path, const std::string& extension,
              std::shared_ptr<const ImageSource> image = nullptr);

    // Adds the next sector, which lies at volumeOffset of the drive. True when the file is
    // complete with it: its end was found, or the old end (the size limit) applies. The caller
    // then closes it.
    bool Add(const std::uint8_t* sector, std::uint32_t size, std::uint64_t volumeOffset);

    // How a start test that matched in the next sector bears on this file.
    enum class StartInside {
        EndsFile,   // the start ends this file (the old rule)
        PartOfFile, // the start lies inside this file's own structure (an embedded preview)
        Nested,     // this file goes on (its end is known to lie beyond, or the start lies in a part
                    // the structure declares), and the start may be a file of its own too
    };
    StartInside ClassifyStart() const;
    // Notes a start found inside the file that did not end it: should its structure fail later,
    // the file ends there after all, as the old rule would have ended it.
    void NoteStartInside();

    // Whether the format of extension has an end rule, so that a file of it may be carved inside
    // another whose end is known.
    static bool HasEndRule(const std::string& extension);

    std::uint64_t Bytes() const { return bytes_; }
    // The drive sector the file starts at.
    std::uint64_t FirstSector = 0;
    // True when the end came from the file's own structure.
    bool EndFound() const { return endFound_; }
    StagedFileWriter& Writer() { return writer_; }

private:
    // Cuts the file back to the old end, once its structure has failed past the size limit.
    bool FallBackToSizeLimit(std::uint32_t sectorSize);

    StagedFileWriter writer_;
    std::unique_ptr<FileEndFinder> finder_;
    std::uint64_t bound_ = 0;
    std::uint64_t bytes_ = 0;
    std::uint64_t firstStartInside_ = 0;  // 0: none noted
    bool endFound_ = false;
};

}  // namespace quorvane
