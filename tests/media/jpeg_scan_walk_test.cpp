// The walk through a JPEG's entropy-coded data that finds where a fragmented picture's first piece
// ends, and the in-memory decode that judges a rebuilt one, on pictures made by ImageMagick.
#include "media/jpeg_decode.h"
#include "media/jpeg_scan_walk.h"
#include "start_tool_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quorvane::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

JpegScanWalker WalkInChunks(const Bytes& bytes, std::size_t chunk) {
    JpegScanWalker walker;
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        walker.Feed(std::span<const std::uint8_t>(bytes.data() + at, std::min(chunk, bytes.size() - at)));
    }
    return walker;
}

Bytes Spliced(const Bytes& head, std::size_t cut, const Bytes& tail, std::size_t from) {
    Bytes out(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(cut));
    out.insert(out.end(), tail.begin() + static_cast<std::ptrdiff_t>(from), tail.end());
    return out;
}

class JpegScanWalk : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new ToolFolder;
        ASSERT_TRUE(folder_->Run("convert -seed 1 -size 900x700 xc:gray +noise Random -quality 90 noise1.jpg"));
        ASSERT_TRUE(folder_->Run("convert -seed 2 -size 900x700 xc:gray +noise Random -quality 90 noise2.jpg"));
        ASSERT_TRUE(folder_->Run("convert -seed 3 -size 1200x900 plasma:fractal -quality 85 plasma.jpg"));
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
    }
    static ToolFolder* folder_;
};
ToolFolder* JpegScanWalk::folder_ = nullptr;

// Every sequential picture an encoder writes is walked to its end of image, whatever the
// sampling, the colour space or the segments before the frame, and fed in any chunks.
TEST_F(JpegScanWalk, WholePicturesEndAtTheirEndOfImage) {
    struct Case {
        const char* name;
        const char* command;
    };
    const Case cases[] = {
        {"444.jpg", "convert plasma.jpg -quality 95 {out}"},
        {"420.jpg", "convert plasma.jpg -quality 75 -sampling-factor 2x2 {out}"},
        {"422.jpg", "convert plasma.jpg -quality 80 -sampling-factor 2x1 {out}"},
        {"grey.jpg", "convert plasma.jpg -colorspace Gray -quality 90 {out}"},
        {"odd.jpg", "convert plasma.jpg -resize 333x77! -sampling-factor 2x2 {out}"},
        {"low.jpg", "convert noise1.jpg -quality 10 {out}"},
        {"cmyk.jpg", "convert plasma.jpg -resize 200x150 -colorspace CMYK {out}"},
        {"exif.jpg", "convert plasma.jpg -resize 640x480 {out} && convert plasma.jpg -resize 160x120 thumb.jpg && "
                     "exiftool -q -overwrite_original '-ThumbnailImage<=thumb.jpg' -Make=Test {out}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string command = c.command;
        command.replace(command.find("{out}"), 5, c.name);
        while (command.find("{out}") != std::string::npos) command.replace(command.find("{out}"), 5, c.name);
        ASSERT_TRUE(folder_->Run(command));
        const Bytes picture = folder_->Read(c.name);
        const JpegDecodeResult decoded = DecodeJpegBytes(picture);
        ASSERT_EQ(decoded.condition, TFileCondition::Whole);
        EXPECT_EQ(decoded.end, picture.size());
        for (std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, picture.size()}) {
            const JpegScanWalker walker = WalkInChunks(picture, chunk);
            ASSERT_EQ(walker.State(), JpegWalkState::Ended) << "chunks of " << chunk << ", broken at " << walker.BrokenAt();
            EXPECT_EQ(walker.End(), picture.size());
        }
    }
}

TEST_F(JpegScanWalk, ProgressivePicturesAreNotJudged) {
    ASSERT_TRUE(folder_->Run("convert plasma.jpg -interlace Plane progressive.jpg"));
    EXPECT_EQ(WalkInChunks(folder_->Read("progressive.jpg"), 4096).State(), JpegWalkState::Unsupported);
}

// Foreign data after a cut, even another noise picture's data coded with the same tables, breaks
// the walk soon after the cut, never before it; libjpeg's verdict agrees that the picture is damaged.
TEST_F(JpegScanWalk, ForeignDataBreaksTheWalkSoonAfterTheCut) {
    const Bytes noise1 = folder_->Read("noise1.jpg"), noise2 = folder_->Read("noise2.jpg"), plasma = folder_->Read("plasma.jpg");
    struct Case {
        const Bytes* head;
        const Bytes* tail;
        const char* what;
    };
    const Case cases[] = {{&noise1, &noise2, "noise into noise"}, {&noise1, &plasma, "noise into plasma"},
                          {&plasma, &noise1, "plasma into noise"}, {&plasma, &noise2, "plasma into a picture's start"}};
    for (const Case& c : cases) {
        for (std::size_t k = 1; k <= 12; ++k) {
            // Cuts spread over the head's data; foreign data from spread places of the tail too.
            const std::size_t cut = 20'000 + k * (c.head->size() - 40'000) / 13;
            const std::size_t from = c.tail == &noise2 && c.head == &plasma ? 0 : k * (c.tail->size() - 20'000) / 13;
            SCOPED_TRACE(std::string(c.what) + ", cut at " + std::to_string(cut));
            const Bytes spliced = Spliced(*c.head, cut, *c.tail, from);
            const JpegScanWalker walker = WalkInChunks(spliced, 4096);
            ASSERT_EQ(walker.State(), JpegWalkState::Broken);
            EXPECT_GE(walker.BrokenAt() + 8, cut);
            EXPECT_LE(walker.BrokenAt(), cut + (64u << 10));
            EXPECT_EQ(DecodeJpegBytes(spliced).condition, TFileCondition::Damaged);
            // Whole blocks walked at once in a long span, or every byte on its own: the same verdict
            // at the same place, to within the bytes the reader had taken in ahead.
            const JpegScanWalker atOnce = WalkInChunks(spliced, spliced.size()), byByte = WalkInChunks(spliced, 1);
            EXPECT_EQ(atOnce.State(), JpegWalkState::Broken);
            EXPECT_EQ(byByte.State(), JpegWalkState::Broken);
            EXPECT_LE(std::max(atOnce.BrokenAt(), byByte.BrokenAt()) - std::min(atOnce.BrokenAt(), byByte.BrokenAt()), 8u);
        }
    }
}

// A copy of the walk is a snapshot: the copy and the original go on independently, so one walk
// kept at a boundary can be tried with several continuations.
TEST_F(JpegScanWalk, ACopyGoesOnIndependently) {
    const Bytes picture = folder_->Read("noise1.jpg"), other = folder_->Read("noise2.jpg");
    const std::size_t cut = 300'000;
    JpegScanWalker walker;
    walker.Feed(std::span<const std::uint8_t>(picture.data(), cut));
    ASSERT_EQ(walker.State(), JpegWalkState::Open);
    JpegScanWalker wrong = walker, right = walker;
    wrong.Feed(std::span<const std::uint8_t>(other.data() + 200'000, 100'000));
    right.Feed(std::span<const std::uint8_t>(picture.data() + cut, picture.size() - cut));
    EXPECT_EQ(wrong.State(), JpegWalkState::Broken);
    ASSERT_EQ(right.State(), JpegWalkState::Ended);
    EXPECT_EQ(right.End(), picture.size());
    EXPECT_EQ(walker.State(), JpegWalkState::Open);
    EXPECT_EQ(walker.Fed(), cut);
}

// Bytes that are not a JPEG, or a picture cut short, never pass for a whole one.
TEST_F(JpegScanWalk, NonsenseAndShortPicturesDoNotEnd) {
    const Bytes picture = folder_->Read("plasma.jpg");
    EXPECT_EQ(WalkInChunks(Bytes(5000, 0), 512).State(), JpegWalkState::Broken);
    Bytes header(picture.begin(), picture.begin() + 2);
    header.resize(4000, 0xFF);  // fill bytes and no marker code ever
    EXPECT_NE(WalkInChunks(header, 512).State(), JpegWalkState::Ended);
    const Bytes shortened(picture.begin(), picture.end() - 1000);
    EXPECT_EQ(WalkInChunks(shortened, 512).State(), JpegWalkState::Open);
    EXPECT_EQ(DecodeJpegBytes(shortened).condition, TFileCondition::Damaged);
    Bytes noEnd = picture;
    noEnd.resize(noEnd.size() - 2);  // the scan's data, then the end of image missing
    noEnd.insert(noEnd.end(), 3000, 0x00);
    EXPECT_EQ(WalkInChunks(noEnd, 512).State(), JpegWalkState::Broken);
}

}  // namespace
}  // namespace quorvane::testing
