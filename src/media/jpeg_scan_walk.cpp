#include "media/jpeg_scan_walk.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace quorvane {

namespace {

constexpr std::uint8_t MarkerSof0 = 0xC0;   // baseline
constexpr std::uint8_t MarkerSof1 = 0xC1;   // extended sequential, Huffman
constexpr std::uint8_t MarkerDht = 0xC4;
constexpr std::uint8_t MarkerDac = 0xCC;
constexpr std::uint8_t MarkerSoi = 0xD8;
constexpr std::uint8_t MarkerEoi = 0xD9;
constexpr std::uint8_t MarkerSos = 0xDA;
constexpr std::uint8_t MarkerDqt = 0xDB;
constexpr std::uint8_t MarkerDnl = 0xDC;
constexpr std::uint8_t MarkerDri = 0xDD;
constexpr std::uint8_t MarkerTem = 0x01;
constexpr std::uint8_t MarkerLowest = 0xC0;

constexpr int Lookahead = 12;
constexpr std::uint32_t MaxBlocksInMcu = 10;

bool IsRestart(std::uint8_t code) { return code >= 0xD0 && code <= 0xD7; }

// A start of frame the walk cannot follow: progressive, lossless, hierarchical or arithmetic.
bool IsOtherFrame(std::uint8_t code) {
    return code >= 0xC2 && code <= 0xCF && code != MarkerDht && code != MarkerDac && code != 0xC8;
}

// Eight bytes in big-endian order, as one load.
std::uint64_t ReadBe64At(const std::uint8_t* p) {
    std::uint64_t v = 0;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}

// Extend without a branch on the sign, which data makes unpredictable: a value whose top bit is
// clear is negative, its magnitude the complement of its bits.
std::uint32_t Magnitude(std::uint32_t value, std::uint32_t size) {
    const std::uint32_t negative = ((value >> (size - 1)) & 1u) - 1u;  // all ones when negative
    return (value ^ negative) & ((1u << size) - 1u);
}
std::int32_t ExtendFast(std::uint32_t value, std::uint32_t size) {
    const std::uint32_t negative = ((value >> (size - 1)) & 1u) - 1u;
    return static_cast<std::int32_t>(value - (negative & ((1u << size) - 1u)));
}

std::int32_t Extend(std::uint32_t value, std::uint32_t size) {
    const auto v = static_cast<std::int32_t>(value);
    return v < (1 << (size - 1)) ? v - (1 << size) + 1 : v;
}

}  // namespace

struct HuffmanTable {
    bool defined = false;
    std::array<std::int32_t, 18> maxCode{};   // the largest code of each length; -1 when none
    std::array<std::int32_t, 17> valueOffset{};
    std::array<std::uint8_t, 256> values{};
    std::array<std::uint16_t, 1 << Lookahead> look{};  // length << 8 | value; 0 for longer codes
};

struct JpegScanWalker::Tables {
    std::array<HuffmanTable, 4> dc{}, ac{};
    std::array<std::array<std::uint16_t, 64>, 4> quant{};  // zigzag order, as stored
    std::array<bool, 4> quantDefined{};
};

JpegScanWalker::JpegScanWalker() : tables_(std::make_shared<Tables>()) {}

JpegScanWalker::Tables& JpegScanWalker::OwnTables() {
    if (tables_.use_count() > 1) tables_ = std::make_shared<Tables>(*tables_);
    return *tables_;
}

void JpegScanWalker::Break(std::uint64_t at) {
    state_ = JpegWalkState::Broken;
    brokenAt_ = at;
}

void JpegScanWalker::Feed(std::span<const std::uint8_t> bytes) {
    const std::uint8_t* p = bytes.data();
    const std::size_t n = bytes.size();
    const std::uint64_t base = fed_;
    std::size_t i = 0;
    while (i < n && state_ == JpegWalkState::Open) {
        fed_ = base + i;
        switch (step_) {
            case Step::Soi0:
                if (p[i] != 0xFF) return Break(base + i);
                ++i;
                step_ = Step::Soi1;
                break;
            case Step::Soi1:
                if (p[i] != MarkerSoi) return Break(base + i);
                ++i;
                step_ = Step::MarkerFF;
                break;
            case Step::MarkerFF:
                // Only a marker may follow a segment or a scan.
                if (p[i] != 0xFF) return Break(base + i);
                ++i;
                step_ = Step::MarkerCode;
                break;
            case Step::MarkerCode:
                OnMarker(p[i], base + i);
                ++i;
                break;
            case Step::Length0:
                length_ = static_cast<std::uint32_t>(p[i++]) << 8;
                step_ = Step::Length1;
                break;
            case Step::Length1:
                length_ |= p[i++];
                if (length_ < 2) return Break(base + i);
                payloadLeft_ = length_ - 2;
                payload_.clear();
                step_ = Step::Payload;
                if (payloadLeft_ == 0) OnSegment();
                break;
            case Step::Payload: {
                const std::size_t m = std::min<std::size_t>(payloadLeft_, n - i);
                if (collect_) payload_.insert(payload_.end(), p + i, p + i + m);
                i += m;
                payloadLeft_ -= static_cast<std::uint32_t>(m);
                fed_ = base + i;  // a scan's data starts here
                if (payloadLeft_ == 0) OnSegment();
                break;
            }
            case Step::Entropy: i = WalkEntropy(p, n, i, base); break;
        }
    }
    fed_ = base + n;
}

void JpegScanWalker::OnMarker(std::uint8_t code, std::uint64_t codeOffset) {
    if (code == 0xFF) return;  // fill before the code
    step_ = Step::MarkerFF;
    if (code == MarkerEoi) {
        if (scansDone_ == 0) return Break(codeOffset);
        state_ = JpegWalkState::Ended;
        end_ = codeOffset + 1;
        return;
    }
    if (code == MarkerTem) return;
    if (code < MarkerLowest || code == MarkerSoi || IsRestart(code)) return Break(codeOffset);
    if (IsOtherFrame(code) || code == MarkerDac || code == MarkerDnl) {
        state_ = JpegWalkState::Unsupported;
        return;
    }
    code_ = code;
    collect_ = code == MarkerSof0 || code == MarkerSof1 || code == MarkerDht || code == MarkerDqt || code == MarkerDri ||
               code == MarkerSos;
    step_ = Step::Length0;
}

void JpegScanWalker::OnSegment() {
    const std::uint64_t at = fed_;
    step_ = Step::MarkerFF;
    bool ok = true;
    switch (code_) {
        case MarkerSof0:
        case MarkerSof1: ok = ReadFrame(); break;
        case MarkerDht: ok = ReadHuffman(); break;
        case MarkerDqt: ok = ReadQuant(); break;
        case MarkerDri: ok = ReadRestartInterval(); break;
        case MarkerSos: ok = ReadScan(); break;
        default: break;
    }
    payload_.clear();
    if (!ok && state_ == JpegWalkState::Open) Break(at);
}

bool JpegScanWalker::ReadFrame() {
    const auto& d = payload_;
    if (frameSeen_ || d.size() < 6) return false;
    precision_ = d[0];
    height_ = static_cast<std::uint16_t>(d[1] << 8 | d[2]);
    width_ = static_cast<std::uint16_t>(d[3] << 8 | d[4]);
    componentCount_ = d[5];
    if (precision_ != 8 && precision_ != 12) return false;
    if (height_ == 0) {  // the height comes in a DNL marker after the first scan
        state_ = JpegWalkState::Unsupported;
        return true;
    }
    if (width_ == 0 || componentCount_ == 0 || componentCount_ > 4 || d.size() != 6u + 3u * componentCount_) return false;
    hMax_ = vMax_ = 1;
    for (std::uint8_t c = 0; c < componentCount_; ++c) {
        Component& comp = components_[c];
        comp.id = d[6 + 3 * c];
        comp.h = static_cast<std::uint8_t>(d[7 + 3 * c] >> 4);
        comp.v = static_cast<std::uint8_t>(d[7 + 3 * c] & 15);
        comp.quant = d[8 + 3 * c];
        if (comp.h < 1 || comp.h > 4 || comp.v < 1 || comp.v > 4 || comp.quant > 3) return false;
        hMax_ = std::max(hMax_, comp.h);
        vMax_ = std::max(vMax_, comp.v);
    }
    frameSeen_ = true;
    return true;
}

bool JpegScanWalker::ReadHuffman() {
    const auto& d = payload_;
    std::size_t at = 0;
    while (at < d.size()) {
        if (d.size() - at < 17) return false;
        const std::uint8_t kind = d[at] >> 4, slot = d[at] & 15;
        if (kind > 1 || slot > 3) return false;
        std::uint32_t total = 0;
        for (int l = 1; l <= 16; ++l) total += d[at + static_cast<std::size_t>(l)];
        if (total > 256 || d.size() - at - 17 < total) return false;
        HuffmanTable& t = kind == 0 ? OwnTables().dc[slot] : OwnTables().ac[slot];
        t = HuffmanTable{};
        std::copy_n(d.begin() + static_cast<std::ptrdiff_t>(at + 17), total, t.values.begin());
        std::int32_t code = 0, index = 0;
        for (int l = 1; l <= 16; ++l) {
            const std::int32_t count = d[at + static_cast<std::size_t>(l)];
            t.valueOffset[static_cast<std::size_t>(l)] = index - code;
            for (std::int32_t j = 0; j < count; ++j, ++code, ++index) {
                // A table whose codes run out of their length is not a prefix code.
                if (code >= (1 << l)) return false;
                if (l <= Lookahead) {
                    const int spread = Lookahead - l;
                    const auto entry = static_cast<std::uint16_t>(l << 8 | t.values[static_cast<std::size_t>(index)]);
                    for (std::int32_t s = 0; s < (1 << spread); ++s) t.look[static_cast<std::size_t>(code << spread | s)] = entry;
                }
            }
            t.maxCode[static_cast<std::size_t>(l)] = count > 0 ? code - 1 : -1;
            code <<= 1;
        }
        t.maxCode[17] = 0x7FFFFFFF;
        t.defined = true;
        at += 17 + total;
    }
    return true;
}

bool JpegScanWalker::ReadQuant() {
    const auto& d = payload_;
    std::size_t at = 0;
    while (at < d.size()) {
        const std::uint8_t wide = d[at] >> 4, slot = d[at] & 15;
        if (wide > 1 || slot > 3) return false;
        const std::size_t size = wide ? 128 : 64;
        if (d.size() - at - 1 < size) return false;
        auto& q = OwnTables().quant[slot];
        for (std::size_t k = 0; k < 64; ++k) {
            q[k] = wide ? static_cast<std::uint16_t>(d[at + 1 + 2 * k] << 8 | d[at + 2 + 2 * k]) : d[at + 1 + k];
            if (q[k] == 0) return false;
        }
        tables_->quantDefined[slot] = true;
        at += 1 + size;
    }
    return true;
}

bool JpegScanWalker::ReadRestartInterval() {
    if (payload_.size() != 2) return false;
    restartInterval_ = static_cast<std::uint16_t>(payload_[0] << 8 | payload_[1]);
    return true;
}

bool JpegScanWalker::ReadScan() {
    const auto& d = payload_;
    if (!frameSeen_ || d.empty()) return false;
    const std::uint8_t count = d[0];
    if (count < 1 || count > componentCount_ || d.size() != 4u + 2u * count) return false;
    // Sequential: the whole spectrum in one go.
    if (d[1 + 2 * count] != 0 || d[2 + 2 * count] != 63 || d[3 + 2 * count] != 0) return false;
    blocksPerMcu_ = 0;
    std::uint8_t only = 0;
    for (std::uint8_t s = 0; s < count; ++s) {
        const std::uint8_t id = d[1 + 2 * s];
        std::uint8_t c = 0;
        while (c < componentCount_ && components_[c].id != id) ++c;
        if (c == componentCount_) return false;
        const std::uint8_t dc = d[2 + 2 * s] >> 4, ac = d[2 + 2 * s] & 15;
        if (dc > 3 || ac > 3 || !tables_->dc[dc].defined || !tables_->ac[ac].defined) return false;
        if (!tables_->quantDefined[components_[c].quant]) return false;
        dcTable_[c] = dc;
        acTable_[c] = ac;
        only = c;
        const std::uint32_t blocks = count == 1 ? 1u : std::uint32_t{components_[c].h} * components_[c].v;
        if (blocksPerMcu_ + blocks > MaxBlocksInMcu) return false;
        for (std::uint32_t b = 0; b < blocks; ++b) blockComponent_[blocksPerMcu_++] = c;
    }
    auto ceilDiv = [](std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; };
    if (count == 1) {
        // One component alone: its own blocks, one per MCU.
        const Component& c = components_[only];
        mcusLeft_ = ceilDiv(ceilDiv(std::uint64_t{width_} * c.h, hMax_), 8) * ceilDiv(ceilDiv(std::uint64_t{height_} * c.v, vMax_), 8);
    } else {
        mcusLeft_ = ceilDiv(width_, 8u * hMax_) * ceilDiv(height_, 8u * vMax_);
    }
    restartLeft_ = restartInterval_;
    nextRestart_ = 0;
    block_ = 0;
    k_ = 0;
    dcPredictor_ = {};
    bits_ = 0;
    bitCount_ = 0;
    bitsEnd_ = fed_;
    ffPending_ = false;
    marker_ = 0;
    step_ = Step::Entropy;
    return true;
}

// Whole blocks at a time: the walk of nearly all of a picture's data. The bytes up to the next
// marker are first copied with their stuffing taken out (an FF00 becomes FF), so that the bit
// reader can load eight bytes at a time without a branch; the blocks are then walked in a tight
// loop and taken block by block. Anything unusual (a fault, a block that runs past the copied
// bytes, the end of an interval) stops the loop before that block, which the byte-at-a-time walk
// below then reads again and judges, saying exactly what and where.
std::size_t JpegScanWalker::WalkBlocksFast(const std::uint8_t* p, std::size_t n, std::size_t i, std::uint64_t base) {
    // The bit reader must hold every byte before i, with room for a full load.
    if (bitsEnd_ != base + i || bitCount_ > 56) return i;
    // A block reads at most 64 codes and values of 16 bits each: reads past the copied bytes land
    // in this much zero padding and the block is not taken.
    constexpr std::size_t Padding = 272;
    constexpr std::size_t Window = 256 * 1024;

    // The clean copy, and where each stuffed FF of it was, to map positions back to p: scratch
    // of the thread, so that a walker stays a small value to copy.
    thread_local std::vector<std::uint8_t> clean;
    thread_local std::vector<std::uint32_t> stuffed;
    clean.clear();
    stuffed.clear();
    {
        std::size_t at = i;
        const std::size_t stop = std::min(n, i + Window);
        while (at < stop) {
            const auto* ff = static_cast<const std::uint8_t*>(std::memchr(p + at, 0xFF, stop - at));
            const std::size_t upto = ff != nullptr ? static_cast<std::size_t>(ff - p) : stop;
            clean.insert(clean.end(), p + at, p + upto);
            at = upto;
            if (ff == nullptr) break;
            // An FF decides only with the byte after it; a marker or the input's end stops the copy.
            if (at + 1 >= n || p[at + 1] != 0) break;
            stuffed.push_back(static_cast<std::uint32_t>(clean.size()));
            clean.push_back(0xFF);
            at += 2;
        }
    }
    const std::size_t cleanBytes = clean.size(), cleanBits = cleanBytes * 8;
    if (cleanBytes < 64) return i;
    clean.resize(clean.size() + Padding, 0);

    const Tables& tables = *tables_;
    const std::int64_t dcLimit = precision_ == 8 ? 1024 : 16384;
    const std::int64_t acLimit = precision_ == 8 ? 2048 : 32768;
    const std::uint32_t maxDcSize = precision_ == 8 ? 11 : 15;
    const std::uint32_t maxAcSize = precision_ == 8 ? 10 : 14;
    // |value| * q > limit + q, as a bound on |value| alone, per component and coefficient; values
    // of up to acSafeSizes bits are within it whatever their bits (most of them).
    std::array<std::array<std::uint32_t, 64>, 4> acMagnitudes{};
    std::array<std::array<std::uint8_t, 64>, 4> acSafeSizes{};
    for (std::size_t c = 0; c < componentCount_ && c < 4; ++c) {
        const auto& quant = tables.quant[components_[c].quant];
        for (std::size_t z = 0; z < 64; ++z) {
            acMagnitudes[c][z] = static_cast<std::uint32_t>((acLimit + quant[z]) / std::max<std::uint16_t>(quant[z], 1));
            std::uint8_t safe = 0;
            while (safe < 16 && (1u << (safe + 1)) - 1u <= acMagnitudes[c][z]) ++safe;
            acSafeSizes[c][z] = safe;
        }
    }

    // The unused bits sit at the top of acc; next is the clean byte to load next. The bits held
    // before the copy (count of them) come first.
    const std::uint32_t heldBits = bitCount_;
    std::uint64_t acc = bitCount_ != 0 ? bits_ << (64 - bitCount_) : 0;
    std::uint32_t count = bitCount_;
    std::size_t next = 0;
    const std::uint8_t* data = clean.data();
    // At least 56 bits in acc, without a branch.
    auto refill = [&] {
        acc |= ReadBe64At(data + next) >> count;
        next += (63 - count) >> 3;
        count |= 56;
    };
    auto take = [&](std::uint32_t size) {
        const auto value = static_cast<std::uint32_t>(acc >> (64 - size));
        acc <<= size;
        count -= size;
        return value;
    };
    // One symbol, or -1 for a code not in the table; at least 32 bits are there.
    auto decode = [&](const HuffmanTable& t) -> std::int32_t {
        const std::uint16_t entry = t.look[acc >> (64 - Lookahead)];
        std::uint32_t length = entry >> 8;
        if (length != 0) {
            acc <<= length;
            count -= length;
            return entry & 0xFF;
        }
        length = Lookahead + 1;
        auto code = static_cast<std::int32_t>(acc >> (64 - length));
        while (length <= 16 && code > t.maxCode[length]) {
            ++length;
            code = static_cast<std::int32_t>(acc >> (64 - length));
        }
        if (length > 16) return -1;
        acc <<= length;
        count -= length;
        return t.values[static_cast<std::size_t>(code + t.valueOffset[length]) & 0xFF];
    };

    std::size_t takenNext = 0;   // next and count after the last block taken
    std::uint32_t takenCount = bitCount_;
    std::uint64_t takenAcc = acc;
    bool taken = false;
    while (mcusLeft_ != 0 && (restartInterval_ == 0 || restartLeft_ != 0)) {
        const std::uint8_t comp = blockComponent_[block_];
        const HuffmanTable& ac = tables.ac[acTable_[comp]];
        const auto& acMagnitude = acMagnitudes[comp];
        const auto& acSafeSize = acSafeSizes[comp];
        std::int32_t predictor = dcPredictor_[comp];
        refill();
        const std::int32_t dcSize = decode(tables.dc[dcTable_[comp]]);
        if (dcSize < 0 || static_cast<std::uint32_t>(dcSize) > maxDcSize) break;
        if (dcSize > 0) {
            predictor += ExtendFast(take(static_cast<std::uint32_t>(dcSize)), static_cast<std::uint32_t>(dcSize));
            if (std::abs(std::int64_t{predictor}) * tables.quant[components_[comp].quant][0] >
                dcLimit + tables.quant[components_[comp].quant][0])
                break;
        }
        std::uint32_t k = 1;
        bool whole = false;
        while (true) {
            refill();
            const std::int32_t symbol = decode(ac);
            if (symbol < 0) break;
            const std::uint32_t run = static_cast<std::uint32_t>(symbol) >> 4, size = static_cast<std::uint32_t>(symbol) & 15;
            if (size == 0) {
                if (run == 0) {
                    whole = true;
                    break;
                }
                if (run != 15 || k + 16 > 63) break;
                k += 16;
                continue;
            }
            if (size > maxAcSize || k + run > 63) break;
            k += run;
            const std::uint32_t value = take(size);
            if (size > acSafeSize[k] && Magnitude(value, size) > acMagnitude[k]) break;
            if (++k > 63) {
                whole = true;
                break;
            }
        }
        // A block that holds together and lies within the copied bytes is taken.
        if (!whole || heldBits + next * 8 - count > heldBits + cleanBits) break;
        // Bits loaded from the padding are no data: they are given back.
        takenNext = std::min(next, cleanBytes);
        takenCount = count - static_cast<std::uint32_t>((next - takenNext) * 8);
        takenAcc = acc;
        taken = true;
        dcPredictor_[comp] = predictor;
        if (++block_ == blocksPerMcu_) {
            block_ = 0;
            --mcusLeft_;
            if (restartInterval_ != 0) --restartLeft_;
        }
    }
    if (!taken) return i;
    // Back to the byte reader's terms: the bits held and the offset in p of the next clean byte.
    bits_ = takenCount != 0 ? takenAcc >> (64 - takenCount) : 0;
    bitCount_ = takenCount;
    const auto stuffedBefore = static_cast<std::size_t>(
        std::lower_bound(stuffed.begin(), stuffed.end(), static_cast<std::uint32_t>(takenNext)) - stuffed.begin());
    const std::size_t resume = i + takenNext + stuffedBefore;
    bitsEnd_ = base + resume;
    return resume;
}

// The entropy-coded data of a scan, up to the marker after it. Returns how far into p it got.
std::size_t JpegScanWalker::WalkEntropy(const std::uint8_t* p, std::size_t n, std::size_t i, std::uint64_t base) {
    const Tables& tables = *tables_;
    // What an 8x8 DCT of samples of this precision can give: the DC term is the block's mean
    // times 8, an AC term at most twice the DC range.
    const std::int64_t dcLimit = precision_ == 8 ? 1024 : 16384;
    const std::int64_t acLimit = precision_ == 8 ? 2048 : 32768;
    const std::uint32_t maxDcSize = precision_ == 8 ? 11 : 15;
    const std::uint32_t maxAcSize = precision_ == 8 ? 10 : 14;

    // Takes bytes into the bit buffer up to the next marker or the end of the input.
    auto fill = [&] {
        while (bitCount_ <= 56 && marker_ == 0 && i < n) {
            const std::uint8_t b = p[i];
            if (ffPending_) {
                ffPending_ = false;
                ++i;
                if (b == 0) {
                    bits_ = bits_ << 8 | 0xFF;
                    bitCount_ += 8;
                    bitsEnd_ = base + i;
                } else if (b == 0xFF) {
                    ffPending_ = true;  // fill bytes before a marker
                } else {
                    marker_ = b;
                    markerAt_ = base + i - 2;
                }
                continue;
            }
            ++i;
            if (b == 0xFF) {
                ffPending_ = true;
                continue;
            }
            bits_ = bits_ << 8 | b;
            bitCount_ += 8;
            bitsEnd_ = base + i;
        }
    };
    auto here = [&] { return bitsEnd_ - bitCount_ / 8; };
    // The next n bits, n <= 32, without using them; missing bits read as zeros.
    auto peek = [&](std::uint32_t count) -> std::uint32_t {
        if (bitCount_ >= count) return static_cast<std::uint32_t>(bits_ >> (bitCount_ - count)) & ((1u << count) - 1u);
        return static_cast<std::uint32_t>(bits_ << (count - bitCount_)) & ((1u << count) - 1u);
    };
    // One Huffman symbol; -1 for a code not in the table, -2 when the bits ran out.
    auto decode = [&](const HuffmanTable& t) -> std::int32_t {
        const std::uint16_t entry = t.look[peek(Lookahead)];
        std::uint32_t length = entry >> 8;
        std::int32_t value = entry & 0xFF;
        if (length == 0) {
            std::int32_t code = static_cast<std::int32_t>(peek(Lookahead + 1));
            length = Lookahead + 1;
            while (length <= 16 && code > t.maxCode[length]) {
                ++length;
                code = static_cast<std::int32_t>(peek(length));
            }
            if (length > 16) return bitCount_ >= 16 ? -1 : -2;
            value = t.values[static_cast<std::size_t>(code + t.valueOffset[length]) & 0xFF];
        }
        if (length > bitCount_) return -2;
        bitCount_ -= length;
        return value;
    };

    while (state_ == JpegWalkState::Open) {
        if (k_ == 0 && marker_ == 0 && !ffPending_) i = WalkBlocksFast(p, n, i, base);
        fill();
        // At least 32 bits, a symbol and its value, or all there is before a marker.
        if (bitCount_ < 32 && marker_ == 0) return n;

        if (block_ == 0 && k_ == 0 && (mcusLeft_ == 0 || (restartInterval_ != 0 && restartLeft_ == 0))) {
            // The data of the scan or of the interval is all read: only padding bits may be left,
            // and a marker must come next.
            if (bitCount_ >= 8) {
                Break(here());
                return i;
            }
            if (marker_ == 0) return n;
            const std::uint8_t marker = marker_;
            const std::uint64_t markerAt = markerAt_;
            marker_ = 0;
            bits_ = 0;
            bitCount_ = 0;
            if (mcusLeft_ == 0) {
                ++scansDone_;
                OnMarker(marker, markerAt + 1);
                return i;
            }
            if (!IsRestart(marker) || marker - 0xD0 != nextRestart_) {
                Break(markerAt);
                return i;
            }
            nextRestart_ = static_cast<std::uint8_t>((nextRestart_ + 1) & 7);
            restartLeft_ = restartInterval_;
            dcPredictor_ = {};
            continue;
        }

        const std::uint8_t comp = blockComponent_[block_];
        const auto& quant = tables.quant[components_[comp].quant];
        const std::uint64_t at = here();
        if (k_ == 0) {
            const std::int32_t size = decode(tables.dc[dcTable_[comp]]);
            if (size == -1 || static_cast<std::uint32_t>(size) > maxDcSize) {
                Break(at);
                return i;
            }
            if (size == -2 || static_cast<std::uint32_t>(size) > bitCount_) {
                Break(markerAt_);  // a marker cut the data short
                return i;
            }
            if (size > 0) {
                const std::int32_t diff = Extend(peek(static_cast<std::uint32_t>(size)), static_cast<std::uint32_t>(size));
                bitCount_ -= static_cast<std::uint32_t>(size);
                dcPredictor_[comp] += diff;
                if (std::abs(std::int64_t{dcPredictor_[comp]}) * quant[0] > dcLimit + quant[0]) {
                    Break(at);
                    return i;
                }
            }
            k_ = 1;
            continue;
        }
        const std::int32_t symbol = decode(tables.ac[acTable_[comp]]);
        if (symbol < 0) {
            Break(symbol == -2 ? markerAt_ : at);
            return i;
        }
        const std::uint32_t run = static_cast<std::uint32_t>(symbol) >> 4, size = static_cast<std::uint32_t>(symbol) & 15;
        bool blockDone = false;
        if (size == 0) {
            if (run == 0) {
                blockDone = true;  // end of block
            } else if (run == 15 && k_ + 16 <= 63) {
                k_ = static_cast<std::uint8_t>(k_ + 16);
            } else {
                Break(at);
                return i;
            }
        } else {
            if (size > maxAcSize || k_ + run > 63) {
                Break(at);
                return i;
            }
            if (size > bitCount_) {
                Break(markerAt_);
                return i;
            }
            const std::int32_t value = Extend(peek(size), size);
            bitCount_ -= size;
            k_ = static_cast<std::uint8_t>(k_ + run);
            if (std::abs(std::int64_t{value}) * quant[k_] > acLimit + quant[k_]) {
                Break(at);
                return i;
            }
            blockDone = ++k_ > 63;
        }
        if (blockDone) {
            k_ = 0;
            if (++block_ == blocksPerMcu_) {
                block_ = 0;
                --mcusLeft_;
                if (restartInterval_ != 0) --restartLeft_;
            }
        }
    }
    return i;
}

}  // namespace quorvane
