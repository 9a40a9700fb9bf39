#pragma once
// Follows a sequential JPEG (baseline or extended, Huffman coded) through its entropy-coded data
// without computing pixels, to tell where its bytes stop being a continuation of the picture: the
// place a fragmented picture's first piece ends.
//
// libjpeg-turbo is no help for that: its fast Huffman path decodes a bad code as zero without a
// word, so foreign data is often noticed only at the picture's end. The walk is stricter than any
// decoder needs to be, and each test holds for every picture an encoder can write: every Huffman
// code is in its table, a block has at most 64 coefficients, a coefficient's size fits the sample
// precision, the quantized DC and AC values stay within what an 8x8 DCT of such samples can give,
// restart markers come in order exactly where the restart interval puts them, and the last scan
// ends right before a marker. Misread data breaks one of these within a few hundred bytes.
//
// The walker is a small value: a copy taken at a cluster boundary is a snapshot that another
// continuation can be fed to, so trying a continuation costs only the bytes it decodes.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace quorvane {

enum class JpegWalkState : std::uint8_t {
    Open,         // the bytes fed so far hold together; the picture goes on
    Ended,        // the end of image after the last scan: End() is the picture's length
    Broken,       // the bytes stop being this picture's at about BrokenAt()
    Unsupported,  // progressive, arithmetic coded, lossless or hierarchical: the walk cannot tell
};

class JpegScanWalker {
public:
    JpegScanWalker();

    // Feeds the picture's next bytes, in order, from its first byte on. Once the state is not
    // Open, further bytes are ignored.
    void Feed(std::span<const std::uint8_t> bytes);

    JpegWalkState State() const { return state_; }
    // How many bytes have been fed (the offset of the next one).
    std::uint64_t Fed() const { return fed_; }
    // Where the data stopped making sense, to within the few bytes a Huffman code spans; the
    // fault itself lies at or after the true end of the picture's data, a little before this.
    std::uint64_t BrokenAt() const { return brokenAt_; }
    // The picture's length, up to and including its end of image; when State() is Ended.
    std::uint64_t End() const { return end_; }
    // Whether the walk has reached the entropy-coded data of a scan.
    bool InScan() const { return step_ == Step::Entropy; }

    struct Tables;  // Huffman and quantization tables, shared between copies until one changes

private:
    enum class Step : std::uint8_t { Soi0, Soi1, MarkerFF, MarkerCode, Length0, Length1, Payload, Entropy };

    struct Component {
        std::uint8_t id = 0, h = 1, v = 1, quant = 0;
    };

    std::size_t WalkEntropy(const std::uint8_t* p, std::size_t n, std::size_t i, std::uint64_t base);
    std::size_t WalkBlocksFast(const std::uint8_t* p, std::size_t n, std::size_t i, std::uint64_t base);
    void OnMarker(std::uint8_t code, std::uint64_t codeOffset);
    void OnSegment();
    bool ReadFrame();
    bool ReadHuffman();
    bool ReadQuant();
    bool ReadRestartInterval();
    bool ReadScan();
    void Break(std::uint64_t at);
    Tables& OwnTables();

    JpegWalkState state_ = JpegWalkState::Open;
    Step step_ = Step::Soi0;
    std::uint64_t fed_ = 0;
    std::uint64_t brokenAt_ = 0;
    std::uint64_t end_ = 0;

    // Marker segments.
    std::uint8_t code_ = 0;
    std::uint32_t length_ = 0;
    std::uint32_t payloadLeft_ = 0;
    bool collect_ = false;
    std::vector<std::uint8_t> payload_;

    std::shared_ptr<Tables> tables_;

    // The frame.
    bool frameSeen_ = false;
    std::uint8_t precision_ = 8;
    std::uint16_t width_ = 0, height_ = 0;
    std::uint8_t hMax_ = 1, vMax_ = 1;
    std::uint8_t componentCount_ = 0;
    std::array<Component, 4> components_{};
    std::uint16_t restartInterval_ = 0;
    std::uint32_t scansDone_ = 0;

    // The scan being walked: per block of an MCU, the frame component it belongs to.
    std::array<std::uint8_t, 10> blockComponent_{};
    std::array<std::uint8_t, 4> dcTable_{}, acTable_{};  // per frame component, for this scan
    std::uint8_t blocksPerMcu_ = 0;
    std::uint64_t mcusLeft_ = 0;
    std::uint32_t restartLeft_ = 0;
    std::uint8_t nextRestart_ = 0;
    std::uint8_t block_ = 0;
    std::uint8_t k_ = 0;  // next coefficient of the block, in zigzag order; 0 is the DC term
    std::array<std::int32_t, 4> dcPredictor_{};

    // The bit reader: bits not yet used, the newest in the low end.
    std::uint64_t bits_ = 0;
    std::uint32_t bitCount_ = 0;
    std::uint64_t bitsEnd_ = 0;     // the offset just after the last byte taken into bits_
    bool ffPending_ = false;        // the last byte fed was an FF whose next byte decides
    std::uint8_t marker_ = 0;       // a marker that stopped the reader; 0 when none
    std::uint64_t markerAt_ = 0;    // the offset of that marker's FF
};

}  // namespace quorvane
