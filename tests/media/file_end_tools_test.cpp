// End finders on files written by the real tools (ImageMagick, exiftool, ffmpeg, heif-enc): each
// must end exactly at the file's size whatever follows it and however its bytes are cut.
#include "file_end_fixtures.h"
#include "media/exif_thumbnail.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace quorvane::testing {
namespace {

struct ToolFile {
    const char* name;
    EndRule rule;
    const char* command;  // writes the file "name" into the folder
};

const std::vector<ToolFile>& ToolFiles() {
    static const std::vector<ToolFile> files = {
        {"baseline.jpg", EndRule::Jpeg, "convert -size 160x120 plasma:fractal -seed 3 -quality 85 baseline.jpg"},
        {"progressive.jpg", EndRule::Jpeg,
         "convert -size 160x120 plasma:fractal -seed 3 -quality 85 -interlace Plane progressive.jpg"},
        // exiftool writes an Exif block whose IFD1 holds a whole JPEG (SOI to EOI) as preview.
        {"thumbnail.jpg", EndRule::Jpeg,
         "convert -size 320x240 plasma:fractal -seed 5 exifsrc.jpg && convert exifsrc.jpg -resize 80x60 thumb.jpg && "
         "cp exifsrc.jpg thumbnail.jpg && exiftool -q -overwrite_original '-ThumbnailImage<=thumb.jpg' thumbnail.jpg"},
        {"picture.png", EndRule::Png, "convert -size 160x120 plasma:fractal -seed 3 picture.png"},
        {"picture.gif", EndRule::Gif, "convert -size 160x120 plasma:fractal -seed 3 picture.gif"},
        {"animation.gif", EndRule::Gif,
         "convert -size 64x48 plasma:fractal -seed 3 a.png && convert -size 64x48 plasma:fractal -seed 4 b.png && "
         "convert -delay 10 -loop 0 a.png b.png animation.gif"},
        {"v5.bmp", EndRule::Bmp, "convert -size 61x47 plasma:fractal -seed 3 v5.bmp"},
        {"v3.bmp", EndRule::Bmp, "convert -size 61x47 plasma:fractal -seed 3 BMP3:v3.bmp"},
        {"os2.bmp", EndRule::Bmp, "convert -size 61x47 plasma:fractal -seed 3 BMP2:os2.bmp"},
        // libtiff writes the IFD after the pixels: the finder has to gather it ahead.
        {"intel.tif", EndRule::Tiff, "convert -size 160x120 plasma:fractal -seed 3 intel.tif"},
        {"motorola.tif", EndRule::Tiff, "convert -size 160x120 plasma:fractal -seed 3 -endian MSB motorola.tif"},
        {"pages.tif", EndRule::Tiff,
         "convert -size 64x48 plasma:fractal -seed 3 a.png && convert -size 80x40 plasma:fractal -seed 4 b.png && "
         "convert a.png b.png -compress lzw pages.tif"},
        {"tiled.tif", EndRule::Tiff,
         "convert -size 160x120 plasma:fractal -seed 3 -define tiff:tile-geometry=64x64 tiled.tif"},
        // Larger than the kept head, with the IFD and its arrays at the end.
        {"large.tif", EndRule::Tiff, "convert -size 900x500 plasma:fractal -seed 3 -compress none large.tif"},
        {"moov_last.mp4", EndRule::IsoMedia, "ffmpeg -nostdin -y -f lavfi -i testsrc=duration=1:size=128x96:rate=10 "
                                             "-c:v libx264 -pix_fmt yuv420p moov_last.mp4"},
        {"faststart.mp4", EndRule::IsoMedia, "ffmpeg -nostdin -y -f lavfi -i testsrc=duration=1:size=128x96:rate=10 "
                                             "-c:v libx264 -pix_fmt yuv420p -movflags +faststart faststart.mp4"},
        {"clip.mov", EndRule::IsoMedia,
         "ffmpeg -nostdin -y -f lavfi -i testsrc=duration=1:size=128x96:rate=10 -c:v mjpeg clip.mov"},
        {"picture.heic", EndRule::IsoMedia,
         "convert -size 64x48 plasma:fractal -seed 3 h.png && heif-enc h.png -o picture.heic"},
        {"clip.avi", EndRule::Riff,
         "ffmpeg -nostdin -y -f lavfi -i testsrc=duration=1:size=128x96:rate=10 -c:v mjpeg clip.avi"},
        {"sound.wav", EndRule::Riff, "ffmpeg -nostdin -y -f lavfi -i sine=duration=0.3 -ac 1 sound.wav"},
    };
    return files;
}

// Every file is made once for the whole suite.
class ToolFileEnds : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<ToolDir>();
        for (const auto& f : ToolFiles()) {
            if (!dir_->Run(f.command)) ADD_FAILURE() << "failed: " << f.command;
            files_[f.name] = dir_->Read(f.name);
        }
    }
    static void TearDownTestSuite() {
        files_.clear();
        dir_.reset();
    }

    static const Bytes& File(const std::string& name) { return files_.at(name); }

    static std::unique_ptr<ToolDir> dir_;
    static std::map<std::string, Bytes> files_;
};

std::unique_ptr<ToolDir> ToolFileEnds::dir_;
std::map<std::string, Bytes> ToolFileEnds::files_;

TEST_F(ToolFileEnds, EachFileEndsAtItsSizeWhateverFollowsIt) {
    for (const auto& f : ToolFiles()) {
        const Bytes& file = File(f.name);
        ASSERT_GT(file.size(), 100u) << f.name;
        const std::pair<const char*, Bytes> followers[] = {
            {"nothing but random bytes", RandomBytes(3000, 7)},
            {"the start of another JPEG", JpegStart()},
            {"a copy of itself", file},
        };
        for (const auto& [what, after] : followers) {
            SCOPED_TRACE(std::string(f.name) + " followed by " + what);
            EXPECT_EQ(FeedEveryWay(f.rule, Concat(file, after)), EndedAt(file.size()));
        }
    }
}

// A file cut short, with another file's start where the rest should be: the finder may wait for
// more (Open), give up (Unknown) or name the end that the file's own fields give, never another.
TEST_F(ToolFileEnds, ACutFileNeverEndsAnywhereButAtItsOwnSize) {
    for (const auto& f : ToolFiles()) {
        const Bytes& file = File(f.name);
        for (const std::size_t cut : {std::size_t{20}, file.size() / 3, file.size() / 2, file.size() - 1}) {
            SCOPED_TRACE(std::string(f.name) + " cut at " + std::to_string(cut));
            const Bytes head(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
            for (const Bytes& bytes : {head, Concat(head, JpegStart())}) {
                const Fed fed = FeedEveryWay(f.rule, bytes);
                if (fed.state == EndState::Ended) {
                    EXPECT_EQ(fed.end, file.size());
                }
            }
        }
    }
}

TEST_F(ToolFileEnds, AJpegCoversItsExifThumbnailButNotWhatFollowsIt) {
    const Bytes& file = File("thumbnail.jpg");
    const auto thumbnail = FindExifThumbnail(file.data(), file.size());
    ASSERT_TRUE(thumbnail.has_value());
    auto finder = MakeFileEndFinder(EndRule::Jpeg);
    ASSERT_EQ(FeedInPieces(*finder, Concat(file, JpegStart()), 512), EndedAt(file.size()));
    EXPECT_TRUE(finder->Covers(thumbnail->offset));
    EXPECT_TRUE(finder->Covers(thumbnail->offset + thumbnail->length - 1));
    EXPECT_FALSE(finder->Covers(file.size()));
    EXPECT_FALSE(finder->Covers(0));
}

TEST_F(ToolFileEnds, ATiffOwnsItsStripsAndTiles) {
    for (const char* name : {"intel.tif", "tiled.tif"}) {
        SCOPED_TRACE(name);
        const Bytes& file = File(name);
        auto finder = MakeFileEndFinder(EndRule::Tiff);
        ASSERT_EQ(FeedInPieces(*finder, file, 0), EndedAt(file.size()));
        // libtiff writes the pixels right after the 8-byte header.
        EXPECT_TRUE(finder->Owns(8));
        EXPECT_FALSE(finder->Owns(file.size()));
    }
}

}  // namespace
}  // namespace quorvane::testing
