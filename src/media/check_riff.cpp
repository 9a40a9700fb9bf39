// RIFF (WAV, AVI): "RIFF", the size of what follows, the form type; then chunks (type, size,
// data, a pad byte after odd sizes) that must fill the form exactly. LIST chunks are walked
// inside too, so a wrong cluster among the many chunks of an AVI's movie list shows. AVI files
// over 1 GB go on with "RIFF....AVIX" forms, which must reach the file's end in the same way.
// Sound samples themselves cannot be checked: every byte value is a valid sample.
#include <algorithm>
#include <cstring>

#include "media/format_checks.h"

namespace quorvane {
namespace {

constexpr int MaxListDepth = 8;
// More chunks than the longest AVI holds: the walk gives up rather than run on.
constexpr std::uint64_t MaxChunks = std::uint64_t{1} << 24;

class RiffWalk {
public:
    explicit RiffWalk(ContentFile& file) : file_(file) {}

    // The chunks from begin must end exactly at end; the last one may leave out its pad byte.
    Walk chunks(std::uint64_t begin, std::uint64_t end, int depth) {
        std::uint64_t at = begin;
        while (at < end) {
            if (++chunks_ > MaxChunks) return Walk::TooLong;
            std::uint8_t type[4];
            std::uint32_t size = 0;
            if (end - at < 8 || !file_.read(at, type, 4) || !file_.u32(at + 4, true, size) || !IsPrintableType(type)) {
                return Walk::Broken;
            }
            const std::uint64_t dataEnd = at + 8 + size;
            if (dataEnd > end) return Walk::Broken;
            if (std::memcmp(type, "LIST", 4) == 0) {
                if (size < 4 || depth >= MaxListDepth) return Walk::Broken;
                const Walk inner = chunks(at + 12, dataEnd, depth + 1);
                if (inner != Walk::Fits) return inner;
            }
            at = dataEnd + (size & 1);  // past end only when the last chunk left its pad byte out
        }
        return Walk::Fits;
    }

    // A whole form: "RIFF", its size and form type, then its chunks. Gives where it ends.
    Walk form(std::uint64_t at, const char* formType, std::uint64_t& end) {
        std::uint8_t head[12];
        if (!file_.read(at, head, sizeof head) || std::memcmp(head, "RIFF", 4) != 0) return Walk::Broken;
        if (formType != nullptr && std::memcmp(head + 8, formType, 4) != 0) return Walk::Broken;
        std::uint32_t size = 0;
        file_.u32(at + 4, true, size);
        end = at + 8 + size;
        if (size < 4 || end > file_.size()) return Walk::Broken;
        const Walk walk = chunks(at + 12, end, 0);
        end = std::min(end + (size & 1), file_.size());
        return walk;
    }

private:
    ContentFile& file_;
    std::uint64_t chunks_ = 0;
};

}  // namespace

TFileCondition CheckRiffFile(ContentFile& file) {
    RiffWalk walk(file);
    std::uint64_t end = 0;
    Walk result = walk.form(0, nullptr, end);
    // Each further form takes at least 12 bytes, so this ends within the file's size.
    while (result == Walk::Fits && end < file.size()) result = walk.form(end, "AVIX", end);
    return Condition(result);
}

}  // namespace quorvane
