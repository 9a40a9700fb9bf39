// JPEG: the markers are walked from the start of image, segments passed over by their lengths
// and the entropy-coded data searched for the next marker. The picture ends at its end of
// image, unless an MPF index (APP2 "MPF\0") names further pictures stored after it: then the file
// ends at the furthest of them.
#include <algorithm>
#include <cstring>
#include <vector>

#include "media/end_walk.h"

namespace quorvane {
namespace {

constexpr std::uint8_t MarkerSoi = 0xD8;
constexpr std::uint8_t MarkerEoi = 0xD9;
constexpr std::uint8_t MarkerSos = 0xDA;
constexpr std::uint8_t MarkerTem = 0x01;
constexpr std::uint8_t MarkerApp0 = 0xE0;
constexpr std::uint8_t MarkerApp2 = 0xE2;
constexpr std::uint8_t MarkerApp15 = 0xEF;
constexpr std::uint8_t MarkerLowest = 0xC0;  // below, only TEM: the rest is reserved

constexpr std::size_t MpfSignature = 4;      // "MPF\0"
constexpr std::uint16_t TagMpEntry = 0xB002;  // 16 bytes per picture: flags, size, offset, dependents
constexpr std::size_t MpEntrySize = 16;
constexpr std::size_t MaxOwnedRanges = 64;

bool IsRestart(std::uint8_t code) { return code >= 0xD0 && code <= 0xD7; }

class JpegEndFinder final : public FileEndFinder {
public:
    void Feed(std::span<const std::uint8_t> bytes) override;

    bool Owns(std::uint64_t offset) const override { return pictures_.Contains(offset); }
    bool Covers(std::uint64_t offset) const override { return segments_.Contains(offset); }

private:
    enum class Step : std::uint8_t {
        Soi0,        // FF of the start of image
        Soi1,        // D8
        MarkerFF,    // FF of the next marker
        MarkerCode,  // the code after an FF
        Length0,     // high byte of the segment length
        Length1,     // low byte
        Skip,        // segment payload
        Collect,     // payload of an APP2 segment that may be the MPF index
        Entropy,     // entropy-coded data after SOS
        EntropyFF,   // an FF in the entropy-coded data, whose next byte decides
    };

    std::size_t ScanEntropy(const std::uint8_t* p, std::size_t n, std::size_t i, std::uint64_t base);
    void OnMarker(std::uint8_t code, std::uint64_t codeOffset);
    void OnSegmentLength(std::uint64_t payloadStart);
    void OnCollected();
    void ReadMpfIndex(const std::uint8_t* d, std::size_t size, std::uint64_t base);

    const std::uint64_t bound_ = EndBound(EndRule::Jpeg);
    std::uint64_t pos_ = 0;  // offset of the first byte of the next piece
    Step step_ = Step::Soi0;
    Step afterSkip_ = Step::MarkerFF;
    std::uint8_t code_ = 0;  // marker of the segment being read
    std::uint16_t length_ = 0;
    std::uint64_t skip_ = 0;
    std::vector<std::uint8_t> segment_;  // APP2 payload gathered so far
    std::size_t collectLeft_ = 0;
    std::uint64_t segmentStart_ = 0;
    bool mpfRead_ = false;
    std::uint64_t furthestPicture_ = 0;
    OwnedRanges segments_{MaxOwnedRanges};  // APP payloads: Exif thumbnails, previews
    OwnedRanges pictures_{MaxOwnedRanges};  // further MPF pictures
};

void JpegEndFinder::Feed(std::span<const std::uint8_t> bytes) {
    const std::uint8_t* p = bytes.data();
    const std::size_t n = bytes.size();
    const std::uint64_t base = pos_;
    std::size_t i = 0;
    while (i < n && State() == EndState::Open) {
        switch (step_) {
            case Step::Soi0:
                if (p[i++] != 0xFF) return SetUnknown();
                step_ = Step::Soi1;
                break;
            case Step::Soi1:
                if (p[i++] != MarkerSoi) return SetUnknown();
                step_ = Step::MarkerFF;
                break;
            case Step::MarkerFF:
                // Only a marker may follow a segment.
                if (p[i++] != 0xFF) return SetUnknown();
                step_ = Step::MarkerCode;
                break;
            case Step::MarkerCode:
                OnMarker(p[i], base + i);
                ++i;
                break;
            case Step::Length0:
                length_ = static_cast<std::uint16_t>(p[i++] << 8);
                step_ = Step::Length1;
                break;
            case Step::Length1:
                length_ = static_cast<std::uint16_t>(length_ | p[i++]);
                OnSegmentLength(base + i);
                break;
            case Step::Skip: {
                const std::size_t m = static_cast<std::size_t>(std::min<std::uint64_t>(skip_, n - i));
                i += m;
                skip_ -= m;
                if (skip_ == 0) step_ = afterSkip_;
                break;
            }
            case Step::Collect: {
                const std::size_t m = std::min(collectLeft_, n - i);
                segment_.insert(segment_.end(), p + i, p + i + m);
                i += m;
                collectLeft_ -= m;
                if (collectLeft_ == 0 || segment_.size() >= MpfSignature) OnCollected();
                break;
            }
            case Step::Entropy: i = ScanEntropy(p, n, i, base); break;
            case Step::EntropyFF: {
                const std::uint8_t b = p[i];
                if (b == 0 || IsRestart(b)) {
                    step_ = Step::Entropy;  // stuffed FF 00, or a restart marker
                } else if (b != 0xFF) {     // FF FF: fill before a marker
                    OnMarker(b, base + i);
                }
                ++i;
                break;
            }
        }
    }
    pos_ = base + n;
    if (State() == EndState::Open && pos_ > bound_) SetUnknown();
}

// The common path: memchr runs through the entropy-coded data to each FF, and only the byte
// after it is looked at.
std::size_t JpegEndFinder::ScanEntropy(const std::uint8_t* p, std::size_t n, std::size_t i, std::uint64_t base) {
    while (i < n) {
        const void* ff = std::memchr(p + i, 0xFF, n - i);
        if (ff == nullptr) return n;
        const std::size_t j = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - p) + 1;
        if (j == n) {
            step_ = Step::EntropyFF;
            return n;
        }
        const std::uint8_t b = p[j];
        if (b == 0 || IsRestart(b)) {
            i = j + 1;
        } else if (b == 0xFF) {
            i = j;
        } else {
            OnMarker(b, base + j);
            return j + 1;
        }
    }
    return n;
}

void JpegEndFinder::OnMarker(std::uint8_t code, std::uint64_t codeOffset) {
    if (code == 0xFF) {
        step_ = Step::MarkerCode;  // fill byte
    } else if (code == MarkerEoi) {
        const std::uint64_t end = std::max(codeOffset + 1, furthestPicture_);
        if (end > bound_) return SetUnknown();
        SetEnded(end);
    } else if (IsRestart(code) || code == MarkerTem) {
        step_ = Step::MarkerFF;
    } else if (code < MarkerLowest || code == MarkerSoi) {
        SetUnknown();
    } else {
        code_ = code;
        step_ = Step::Length0;
    }
}

void JpegEndFinder::OnSegmentLength(std::uint64_t payloadStart) {
    if (length_ < 2) return SetUnknown();
    const std::uint64_t payload = length_ - 2u;
    const std::uint64_t segmentEnd = payloadStart + payload;
    if (segmentEnd > bound_) return SetUnknown();
    if (code_ >= MarkerApp0 && code_ <= MarkerApp15) segments_.Add(payloadStart, segmentEnd);
    afterSkip_ = code_ == MarkerSos ? Step::Entropy : Step::MarkerFF;
    if (code_ == MarkerApp2 && !mpfRead_ && payload >= MpfSignature) {
        segment_.clear();
        collectLeft_ = static_cast<std::size_t>(payload);
        segmentStart_ = payloadStart;
        step_ = Step::Collect;
        return;
    }
    skip_ = payload;
    step_ = payload > 0 ? Step::Skip : afterSkip_;
}

// Called as soon as the signature is in, and again when the whole segment is.
void JpegEndFinder::OnCollected() {
    if (std::memcmp(segment_.data(), "MPF", MpfSignature) != 0) {
        // An ICC profile or other APP2 data: passed over like any segment.
        skip_ = collectLeft_;
        step_ = skip_ > 0 ? Step::Skip : Step::MarkerFF;
        segment_.clear();
        return;
    }
    if (collectLeft_ > 0) return;
    ReadMpfIndex(segment_.data() + MpfSignature, segment_.size() - MpfSignature, segmentStart_ + MpfSignature);
    segment_ = {};
    mpfRead_ = true;
    step_ = Step::MarkerFF;
}

// The MP index: a TIFF-structured block whose offsets count from its own byte-order mark (at
// base). An index that does not hold is ignored: the file then ends at the first picture's end.
void JpegEndFinder::ReadMpfIndex(const std::uint8_t* d, std::size_t size, std::uint64_t base) {
    if (size < 8) return;
    ByteOrder order;
    if (d[0] == 'I' && d[1] == 'I') {
        order.little = true;
    } else if (d[0] == 'M' && d[1] == 'M') {
        order.little = false;
    } else {
        return;
    }
    if (order.U16(d + 2) != 42) return;
    const std::uint32_t ifd = order.U32(d + 4);
    if (ifd > size - 2) return;
    const std::size_t count = order.U16(d + ifd);
    if (count > (size - ifd - 2) / 12) return;
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint8_t* entry = d + ifd + 2 + 12 * k;
        if (order.U16(entry) != TagMpEntry) continue;
        const std::uint32_t length = order.U32(entry + 4);
        const std::uint32_t at = order.U32(entry + 8);
        if (length < MpEntrySize || at > size || length > size - at) return;
        for (std::size_t e = 0; e + MpEntrySize <= length; e += MpEntrySize) {
            const std::uint32_t pictureSize = order.U32(d + at + e + 4);
            const std::uint32_t pictureOffset = order.U32(d + at + e + 8);
            // Offset 0 is the first picture, the one being walked.
            if (pictureOffset == 0 || pictureSize == 0) continue;
            const std::uint64_t start = base + pictureOffset;
            pictures_.Add(start, start + pictureSize);
            furthestPicture_ = std::max(furthestPicture_, start + pictureSize);
        }
        return;
    }
}

}  // namespace

std::unique_ptr<FileEndFinder> MakeJpegEndFinder() { return std::make_unique<JpegEndFinder>(); }

}  // namespace quorvane
