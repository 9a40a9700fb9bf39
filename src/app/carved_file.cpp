#include "app/carved_file.h"

#include "media/media_formats.h"
#include "media/recoverutils.h"

#include <algorithm>
#include <span>
#include <utility>

namespace quorvane {

namespace {

EndRule EndRuleOf(const std::string& extension) {
    const MediaFormat* format = FindMediaFormat(extension);
    return format != nullptr ? format->end : EndRule::SizeLimit;
}

// Where the old rule ends a file of sectors of this size: after the first sector that takes the
// count past the size limit.
std::uint64_t SizeLimitEnd(std::uint32_t sectorSize) {
    const auto limit = static_cast<std::uint64_t>(CarvedFileSizeLimit);
    return sectorSize == 0 ? limit : (limit / sectorSize + 1) * sectorSize;
}

}  // namespace

bool CarvedFile::HasEndRule(const std::string& extension) { return EndRuleOf(extension) != EndRule::SizeLimit; }

bool CarvedFile::Open(const std::string& path, const std::string& extension,
                      std::shared_ptr<const ImageSource> image) {
    const EndRule rule = EndRuleOf(extension);
    finder_ = MakeFileEndFinder(rule);
    bound_ = EndBound(rule);
    bytes_ = 0;
    endFound_ = false;
    return writer_.Create(path, std::move(image));
}

CarvedFile::StartInside CarvedFile::ClassifyStart() const {
    if (!finder_) return StartInside::EndsFile;
    if (finder_->Owns(bytes_)) return StartInside::PartOfFile;
    if (finder_->State() == EndState::Ended && finder_->End() > bytes_) return StartInside::Nested;
    if (finder_->State() == EndState::Open && finder_->Covers(bytes_)) return StartInside::Nested;
    return StartInside::EndsFile;
}

void CarvedFile::NoteStartInside() {
    if (firstStartInside_ == 0) firstStartInside_ = bytes_;
}

bool CarvedFile::FallBackToSizeLimit(std::uint32_t sectorSize) {
    finder_.reset();
    std::uint64_t end = SizeLimitEnd(sectorSize);
    if (firstStartInside_ != 0) end = std::min(end, firstStartInside_);
    if (bytes_ <= end) return false;  // the old rule still has the rest of the file to take
    writer_.TruncateTo(end);
    bytes_ = end;
    return true;
}

bool CarvedFile::Add(const std::uint8_t* sector, std::uint32_t size, std::uint64_t volumeOffset) {
    if (!finder_) {
        // The old rule, as IsFileEnd counts it.
        std::int64_t count = static_cast<std::int64_t>(bytes_);
        const bool end = IsFileEnd(sector, static_cast<std::int32_t>(size), count, std::string());
        bytes_ = static_cast<std::uint64_t>(count);
        writer_.Append(sector, size, volumeOffset);
        return end;
    }
    if (finder_->State() == EndState::Open) finder_->Feed(std::span<const std::uint8_t>(sector, size));
    const EndState state = finder_->State();
    if (state == EndState::Ended && finder_->End() <= bound_) {
        const std::uint64_t end = finder_->End();
        if (end <= bytes_ + size) {
            if (end > bytes_) writer_.Append(sector, static_cast<std::size_t>(end - bytes_), volumeOffset);
            bytes_ = end;
            endFound_ = true;
            return true;
        }
        writer_.Append(sector, size, volumeOffset);
        bytes_ += size;
        return false;
    }
    writer_.Append(sector, size, volumeOffset);
    bytes_ += size;
    if (state == EndState::Unknown || state == EndState::Ended || bytes_ > bound_) {
        // The structure failed, or names an end past the format's bound: the old rule decides.
        if (FallBackToSizeLimit(size)) return true;
        return bytes_ > static_cast<std::uint64_t>(CarvedFileSizeLimit);
    }
    return false;
}

}  // namespace quorvane
