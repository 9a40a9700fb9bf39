// The scan method on cards holding today's files, made by the real tools and then deleted or
// formatted away: every file that lies whole and contiguous comes back with exactly its bytes,
// under the extension of what it is, checked whole; a file whose middle was written over comes
// back marked damaged.
#include "app/recovery_run.h"
#include "platform/drive_table.h"
#include "scan_card.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

struct MediaFile {
    const char* name;       // as copied onto the card
    const char* extension;  // what the scan must name it
    const char* make;       // shell command that makes it in the current folder
};

// A photo of more than 6 MB (past the old size limit), one whose first segment is a table (no
// APP segment, as many phones write), one with an Exif thumbnail (its own FF D8 ... FF D9 inside),
// a film with its index at the end, a HEIC picture, and the older kinds. Random pictures get fixed
// seeds, so that every run carves the same bytes.
const MediaFile Files[] = {
    {"big.jpg", "JPG", "convert -seed 11 -size 3600x2600 xc:gray +noise Random -quality 92 big.jpg"},
    {"noapp.jpg", "JPG",
     "convert -size 400x300 gradient:blue-yellow -strip small.jpg && "
     "python3 -c \"import sys; b=open('small.jpg','rb').read(); n=4+int.from_bytes(b[4:6],'big'); "
     "open('noapp.jpg','wb').write(b[:2]+b[n:])\""},
    {"thumb.jpg", "JPG",
     "convert -seed 12 -size 800x600 plasma:fractal -quality 85 base.jpg && convert base.jpg -resize 160x120 t.jpg && "
     "exiftool -q -o thumb.jpg '-ThumbnailImage<=t.jpg' base.jpg"},
    {"film.mp4", "MP4",
     "ffmpeg -loglevel error -f lavfi -i testsrc=duration=2:size=320x240:rate=25 -c:v mpeg4 film.mp4"},
    {"pic.heic", "HEIC", "convert -seed 13 -size 320x240 plasma: p.png && heif-enc -q 50 -o pic.heic p.png"},
    {"pic.png", "PNG", "convert -seed 14 -size 300x200 plasma: pic.png"},
    {"clip.avi", "AVI", "ffmpeg -loglevel error -f lavfi -i testsrc=duration=1:size=160x120:rate=10 -c:v mjpeg clip.avi"},
    {"tone.wav", "WAV", "ffmpeg -loglevel error -f lavfi -i sine=duration=1 tone.wav"},
    {"pic.gif", "GIF", "convert -seed 15 -size 200x150 plasma: pic.gif"},
    {"pic.bmp", "BMP", "convert -seed 16 -size 200x150 plasma: pic.bmp"},
};

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Carving : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = fs::temp_directory_path() / ("quorvane-carving-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const MediaFile& f : Files) {
            const std::string cmd = "cd '" + dir.string() + "' && (" + f.make + ") >>tools.log 2>&1";
            ASSERT_EQ(std::system(cmd.c_str()), 0) << f.make;
        }
    }
    static void TearDownTestSuite() { fs::remove_all(dir); }
    void SetUp() override { DriveTable::instance().clear(); }
    void TearDown() override { DriveTable::instance().clear(); }

    // A FAT16 card of 4 KB clusters with every file copied on and then deleted: each file lies
    // whole and contiguous from a cluster's start.
    static fs::path MakeCard(const std::string& name, const std::string& after) {
        std::string copy;
        for (const MediaFile& f : Files) copy += std::string(" ") + f.name;
        const std::string cmd = "cd '" + dir.string() + "' && rm -f " + name + " && mkfs.fat -C -F 16 -s 8 " + name +
                                " 65536 && MTOOLS_SKIP_CHECK=1 mcopy -i " + name + copy + " :: && " + after +
                                " >>tools.log 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return dir / name;
    }

    struct Found {
        Bytes bytes;
        std::string extension;
        TFileCondition condition;
    };
    static std::vector<Found> Scan(const fs::path& card) {
        std::string error;
        const auto drives = DriveTable::instance().addPath(card.string(), error);
        EXPECT_FALSE(drives.empty()) << error;
        TRecoveryPlan plan;
        plan.Drive = drives.empty() ? 0 : drives.front();
        plan.Method = TRecoveryMethod::Scan;
        RecoveryRun run(plan);
        run.Run();
        std::vector<Found> found;
        for (const auto& f : run.Staged().Files()) {
            found.push_back({ReadAll(f.Path), fs::path(f.Path).extension().string().substr(1), f.Condition});
        }
        run.Staged().DeleteStagedFiles();
        return found;
    }

    static fs::path dir;
};

fs::path Carving::dir;

TEST_F(Carving, DeletedAndFormattedFilesComeBackByteExactWithTheirKindAndWhole) {
    const std::pair<const char*, const char*> histories[] = {
        {"deleted.img", "MTOOLS_SKIP_CHECK=1 mdel -i deleted.img '::*.*'"},
        {"formatted.img", "mkfs.fat -F 16 -s 8 formatted.img"},
    };
    for (const auto& [name, history] : histories) {
        SCOPED_TRACE(name);
        const auto found = Scan(MakeCard(name, history));
        for (const MediaFile& f : Files) {
            SCOPED_TRACE(f.name);
            const Bytes original = ReadAll(dir / f.name);
            const auto match = std::find_if(found.begin(), found.end(), [&](const Found& x) { return x.bytes == original; });
            if (match == found.end()) {
                // What came back of this kind instead, to tell a wrong end from a wrong start.
                std::string seen;
                for (const Found& x : found) {
                    if (x.extension != f.extension) continue;
                    const auto differ = std::mismatch(x.bytes.begin(), x.bytes.end(), original.begin(), original.end());
                    seen += " [" + std::to_string(x.bytes.size()) + " bytes, differs at " +
                            std::to_string(differ.first - x.bytes.begin()) + "]";
                }
                FAIL() << "not recovered byte-exact (" << original.size() << " bytes); found" << seen;
            }
            EXPECT_EQ(match->extension, f.extension);
            EXPECT_EQ(match->condition, TFileCondition::Whole);
        }
    }
}

TEST_F(Carving, AFileWhoseMiddleWasWrittenOverIsMarkedDamaged) {
    const fs::path card = MakeCard("overwritten.img", "true");
    Bytes image = ReadAll(card);
    const Bytes photo = ReadAll(dir / "big.jpg");
    const auto at = std::search(image.begin(), image.end(), photo.begin(), photo.begin() + 4096);
    ASSERT_NE(at, image.end());
    // Two clusters in the middle of the photo now hold another file's bytes.
    std::mt19937 random(7);
    std::generate_n(at + 2'000'000, 8192, [&] { return static_cast<std::uint8_t>(random()); });
    std::ofstream(card, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                static_cast<std::streamsize>(image.size()));
    const auto found = Scan(card);
    const auto first = std::find_if(found.begin(), found.end(), [&](const Found& x) {
        return x.bytes.size() > 4096 && std::equal(photo.begin(), photo.begin() + 4096, x.bytes.begin());
    });
    ASSERT_NE(first, found.end());
    EXPECT_EQ(first->condition, TFileCondition::Damaged);
}

// A start inside a photo's APP segment is either an embedded picture (an Exif thumbnail that
// happens to begin on a sector) or a photo written over the first one's later clusters: the
// outer photo goes on while its structure holds, and the inner one is carved as well.
TEST_F(Carving, AStartInsideAnAppSegmentCutsNeitherPhoto) {
    const Bytes inner = ReadAll(dir / "noapp.jpg");
    const Bytes outer = ReadAll(dir / "thumb.jpg");
    // An APP1 segment of 16 KB from byte 2, holding the inner photo from byte 1024 on.
    auto withApp1 = [&](const Bytes& rest) {
        Bytes b = {0xFF, 0xD8, 0xFF, 0xE1, 0x40, 0x00};
        b.resize(1024, 0);
        b.insert(b.end(), inner.begin(), inner.end());
        b.resize(2 + 2 + 0x4000, 0);
        b.insert(b.end(), rest.begin() + 2, rest.end());
        return b;
    };
    const Bytes embedding = withApp1(outer);
    // The first photo's head, then a later photo that took its place from byte 1024 on.
    Bytes overwritten(embedding.begin(), embedding.begin() + 1024);
    const Bytes later = ReadAll(dir / "big.jpg");
    overwritten.insert(overwritten.end(), later.begin(), later.end());
    struct Case {
        const char* name;
        Bytes card;
        std::vector<std::pair<Bytes, TFileCondition>> expected;
    };
    const Case cases[] = {
        {"a thumbnail on a sector", embedding, {{embedding, TFileCondition::Whole}, {inner, TFileCondition::Whole}}},
        {"a photo written over the first", overwritten, {{later, TFileCondition::Whole}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes card = c.card;
        card.resize((card.size() / 512 + 64) * 512, 0);
        const fs::path path = dir / "inside.img";
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(card.data()),
                                                    static_cast<std::streamsize>(card.size()));
        const auto found = Scan(path);
        for (const auto& [bytes, condition] : c.expected) {
            const auto match = std::find_if(found.begin(), found.end(), [&](const Found& x) { return x.bytes == bytes; });
            ASSERT_NE(match, found.end()) << bytes.size() << " bytes not recovered byte-exact";
            EXPECT_EQ(match->condition, condition);
        }
        DriveTable::instance().clear();
    }
}

// A Motion JPEG film whose first frame begins on a sector: the frame is a JPEG start, but the
// film's RIFF size declares the bytes as its own, so the film comes back whole.
TEST_F(Carving, AFilmFrameOnASectorDoesNotCutTheFilm) {
    Bytes film = ReadAll(dir / "clip.avi");
    const std::string movi = "movi";
    const auto list = std::search(film.begin(), film.end(), movi.begin(), movi.end()) - 8;
    ASSERT_GT(list - film.begin(), 12);
    // A JUNK chunk before the movi list moves the first frame's JPEG (after "movi" and a chunk
    // header) onto a sector start; the index's offsets count from movi, so they stay right.
    const std::size_t frame = static_cast<std::size_t>(list - film.begin()) + 12 + 8;
    std::size_t pad = (512 - frame % 512) % 512;
    if (pad < 8) pad += 512;
    Bytes junk(pad, 0);
    std::copy_n("JUNK", 4, junk.begin());
    const auto body = static_cast<std::uint32_t>(pad - 8);
    for (int i = 0; i < 4; ++i) junk[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(body >> (8 * i));
    film.insert(list, junk.begin(), junk.end());
    std::uint32_t riff = 0;
    for (int i = 3; i >= 0; --i) riff = riff << 8 | film[4 + static_cast<std::size_t>(i)];
    riff += static_cast<std::uint32_t>(pad);
    for (int i = 0; i < 4; ++i) film[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(riff >> (8 * i));
    ASSERT_EQ(film[frame + pad], 0xFF);
    ASSERT_EQ(film[frame + pad + 1], 0xD8);

    Bytes card = film;
    card.resize((card.size() / 512 + 64) * 512, 0);
    const fs::path path = dir / "film.img";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(card.data()),
                                                static_cast<std::streamsize>(card.size()));
    const auto found = Scan(path);
    const auto match = std::find_if(found.begin(), found.end(), [&](const Found& x) { return x.bytes == film; });
    ASSERT_NE(match, found.end()) << "the film was cut";
    EXPECT_EQ(match->extension, "AVI");
    EXPECT_EQ(match->condition, TFileCondition::Whole);
}

}  // namespace
}  // namespace quorvane::testing
