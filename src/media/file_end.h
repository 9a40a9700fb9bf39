#pragma once
// Where a recovered file ends, found from its own structure while its bytes go by.
//
// The scan method and the lost data search read a file's bytes once, front to back. A finder
// is fed those bytes in order and says, as soon as the structure tells, where the file ends.
// A finder never reads anything but what it is fed, keeps only the little state it needs, and
// bounds every walk: a file whose structure does not hold, or that runs past the format's
// bound, is left to the older end (the next start found, or the carved-file size limit).
#include <cstdint>
#include <memory>
#include <span>

namespace quorvane {

// How the end of a file of a format is found; one per row of the media format table.
enum class EndRule : std::uint8_t {
    SizeLimit,  // no structure read: the next start found or CarvedFileSizeLimit bytes
    Jpeg,       // markers walked to the picture's EOI (and to the last MPF picture)
    Riff,       // the RIFF size field (and AVIX chunks right after it)
    IsoMedia,   // top-level boxes of ISO base media / QuickTime (MP4, MOV, 3GP, HEIC, AVIF, CR3)
    Png,        // chunks up to and including IEND
    Gif,        // blocks up to the trailer
    Bmp,        // the file size field
    Tiff,       // the furthest byte of any IFD, value, strip, tile or preview
};

enum class EndState : std::uint8_t {
    Open,     // the structure holds so far and says the file goes on
    // The file ends at End(). End() may lie beyond the bytes fed so far: a RIFF or BMP size
    // field, TIFF IFDs read in full and an MPF index tell the end before the last byte goes by
    // (an AVI stays Open until the 12 bytes after its RIFF chunk show whether AVIX chunks follow).
    Ended,
    Unknown,  // the structure does not hold, or ran past Bound(): the end is not known
};

class FileEndFinder {
public:
    virtual ~FileEndFinder() = default;

    // Feeds the file's next bytes, in order, starting at offset 0. Once the state is Ended or
    // Unknown, further bytes are ignored.
    virtual void Feed(std::span<const std::uint8_t> bytes) = 0;

    EndState State() const { return state_; }
    // The file's length in bytes; meaningful when State() is Ended.
    std::uint64_t End() const { return end_; }

    // Whether a start test that matched at offset (not fed yet; a sector boundary) lies inside
    // this file's own structure, such as an embedded preview picture or a further MPF picture,
    // so that it is not the start of a new file. False when the structure does not vouch for it.
    virtual bool Owns(std::uint64_t offset) const {
        (void)offset;
        return false;
    }

    // Whether offset lies inside a part of the file whose length the structure declares but whose
    // content it does not place (a JPEG's APP segment, which may hold an Exif thumbnail): a start
    // found there may be an embedded picture or a file written over this one, so both are kept
    // going and the structure decides which.
    virtual bool Covers(std::uint64_t offset) const {
        (void)offset;
        return false;
    }

protected:
    void SetEnded(std::uint64_t end) {
        state_ = EndState::Ended;
        end_ = end;
    }
    void SetUnknown() { state_ = EndState::Unknown; }

private:
    EndState state_ = EndState::Open;
    std::uint64_t end_ = 0;
};

// The furthest a file of this rule is followed before its end counts as not found: 64 MiB for
// pictures, 4 GiB for films and sounds; CarvedFileSizeLimit for SizeLimit.
std::uint64_t EndBound(EndRule rule);

// A new finder for one file; nullptr for SizeLimit, which has no structure to read.
std::unique_ptr<FileEndFinder> MakeFileEndFinder(EndRule rule);

// Feeds all of bytes to a new finder of rule at once: the state and end it reaches. For tests
// and for checking a whole file that is already in memory.
struct FoundEnd {
    EndState state = EndState::Unknown;
    std::uint64_t end = 0;
};
FoundEnd FindFileEnd(EndRule rule, std::span<const std::uint8_t> bytes);

}  // namespace quorvane
