// Photos written by mtools into the holes deleted files left, then deleted themselves, rebuilt
// from their pieces on a card made by mkfs.fat.
#include "app/fragment_rebuild.h"
#include "app/staged_rebuild.h"
#include "fat/fat_formats.h"
#include "media/content_check.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A folder with a card image, its tools and the pictures made for it.
class Card {
public:
    // A FAT16 card of 64 MiB with 4 KiB clusters, as small cards come.
    Card() {
        dir_ = fs::temp_directory_path() / ("quorvane-fragments-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        Run("mkfs.fat -C --invariant -F 16 -s 8 -n CARD card.img 65536");
    }
    ~Card() { fs::remove_all(dir_); }

    void Run(const std::string& command) const {
        const std::string cmd = "cd '" + dir_.string() + "' && SOURCE_DATE_EPOCH=1700000000 MTOOLS_SKIP_CHECK=1 " + command +
                                " >>tools.log 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << command;
    }

    // A noise or plasma photo (a photo whose foreign data decoding can tell), made once per name.
    Bytes Photo(const std::string& name, const std::string& kind, int seed, const std::string& size) const {
        const std::string source = kind == "noise" ? "xc:gray +noise Random" : "plasma:fractal";
        Run("convert -seed " + std::to_string(seed) + " -size " + size + " " + source + " -quality 90 " + name);
        return ReadAll(dir_ / name);
    }
    // Some bytes to fill a hole with: a slice of a noise photo, so that they look like JPEG data.
    void Put(const std::string& name, const Bytes& bytes) const {
        WriteAll(dir_ / "upload.bin", bytes);
        Run("mcopy -o -i card.img upload.bin ::" + name);
    }
    void Delete(const std::string& names) const { Run("mdel -i card.img " + names); }

    // The device sectors of a file, in its order, from its FAT chain.
    std::vector<TSectorRange> Sectors(const std::string& name) const {
        const std::string cmd = "cd '" + dir_.string() + "' && MTOOLS_SKIP_CHECK=1 mshowfat -i card.img ::" + name + " >chain.txt";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        std::ifstream in(dir_ / "chain.txt");
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const Geometry g = ReadGeometry();
        std::vector<TSectorRange> runs;
        const std::regex run("<(\\d+)(?:-(\\d+))?>");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), run); it != std::sregex_iterator(); ++it) {
            const std::uint64_t first = std::stoull((*it)[1]);
            const std::uint64_t last = (*it)[2].matched ? std::stoull((*it)[2]) : first;
            runs.push_back({g.origin + (first - 2) * g.spc, (last - first + 1) * g.spc});
        }
        return runs;
    }

    struct Geometry {
        std::uint64_t origin = 0;
        std::uint32_t spc = 0;
        std::uint64_t total = 0;
    };
    Geometry ReadGeometry() const {
        const Bytes image = ReadAll(dir_ / "card.img");
        const auto boot = DecodeBootSec(std::span<const std::uint8_t>(image.data(), 512));
        Geometry g;
        g.spc = boot->SectorsPerCluster;
        g.origin = boot->ReservedSectors + std::uint64_t{boot->NumberOfFATs} * boot->SectorsPerFAT16 +
                   (std::uint64_t{boot->RootEntryCount} * 32 + 511) / 512;
        g.total = image.size() / 512;
        return g;
    }

    // Writes bytes over the card's sectors from sector on.
    void Overwrite(std::uint64_t sector, const Bytes& bytes) const {
        std::fstream f(dir_ / "card.img", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(sector * 512));
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    TSectorReadFunction Reader() const {
        const std::string path = (dir_ / "card.img").string();
        return [path](std::uint64_t sector, std::uint32_t count, std::uint8_t* out) {
            const int fd = ::open(path.c_str(), O_RDONLY);
            if (fd < 0) return false;
            const auto want = static_cast<std::size_t>(count) * 512;
            const ssize_t got = ::pread(fd, out, want, static_cast<off_t>(sector * 512));
            ::close(fd);
            return got == static_cast<ssize_t>(want);
        };
    }

    TRebuildGeometry GeometryFrom(std::uint64_t firstSector) const {
        const Geometry g = ReadGeometry();
        TRebuildGeometry out;
        out.FirstSector = firstSector;
        out.TotalSectors = g.total;
        out.SectorsPerCluster = g.spc;
        out.ClusterOrigin = g.origin;
        return out;
    }

    const fs::path& Dir() const { return dir_; }

private:
    fs::path dir_;
};

TSectorRanges Owned(const Card& card, const std::vector<std::string>& names) {
    TSectorRanges out;
    for (const auto& name : names) {
        for (const TSectorRange& r : card.Sectors(name)) out.Add(r.First, r.Count);
    }
    out.Normalize();
    return out;
}

class FragmentRebuild : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v mkfs.fat >/dev/null && command -v mshowfat >/dev/null && command -v convert >/dev/null") != 0) {
            GTEST_SKIP() << "needs dosfstools, mtools and imagemagick";
        }
    }
};

// How a photo E came to lie in pieces: the files written first (K kilobytes each, photos of
// their own), those deleted before E was written (E fills their holes, then goes on after the
// last file), and those deleted with E afterwards, whose data lies free between E's pieces.
struct Layout {
    const char* name;
    const char* kind;                 // E's kind of picture
    std::vector<std::pair<const char*, int>> files;  // name, KiB
    const char* holes;                // deleted before E was written
    const char* freed;                // deleted after E, with E
    std::vector<std::string> live;    // what is left on the card
    std::uint32_t pieces;             // E's pieces separated by free foreign data
};

// E is written into the holes and deleted; returns E's bytes and where its pieces lie.
Bytes MakeFragmentedPhoto(const Card& card, const Layout& layout, std::vector<TSectorRange>& runs) {
    int seed = 10;
    for (const auto& [name, kib] : layout.files) {
        const Bytes photo = card.Photo(std::string(name) + "-source.jpg", "noise", ++seed, "1200x900");
        if (photo.size() < static_cast<std::size_t>(kib) * 1024) {
            ADD_FAILURE() << name << " is too small";
            return {};
        }
        card.Put(std::string(name) + ".JPG", Bytes(photo.begin(), photo.begin() + kib * 1024));
    }
    card.Delete(layout.holes);
    const Bytes e = card.Photo("e-source.jpg", layout.kind, 7, std::string(layout.kind) == "noise" ? "1600x1200" : "2600x2000");
    card.Put("E.JPG", e);
    runs = card.Sectors("E.JPG");
    card.Delete(std::string(layout.freed) + " ::E.JPG");
    return e;
}

TEST_F(FragmentRebuild, DeletedPhotosInTwoAndThreePiecesComeBackWhole) {
    const Layout layouts[] = {
        {"two pieces around a freed photo", "noise",
         {{"A", 300}, {"B", 400}, {"C", 500}, {"D", 300}}, "::B.JPG", "::C.JPG", {"A.JPG", "D.JPG"}, 2},
        {"two pieces of a plasma photo", "plasma",
         {{"A", 200}, {"B", 700}, {"C", 300}}, "::B.JPG", "::C.JPG", {"A.JPG"}, 2},
        {"three pieces", "noise",
         {{"A", 100}, {"B", 300}, {"C", 200}, {"D", 400}, {"F", 100}, {"G", 300}},
         "::B.JPG ::D.JPG", "::C.JPG ::G.JPG", {"A.JPG", "F.JPG"}, 3},
        {"three pieces, the middle one short", "noise",
         {{"A", 100}, {"B", 300}, {"C", 200}, {"D", 40}, {"F", 60}, {"G", 300}},
         "::B.JPG ::D.JPG", "::C.JPG ::G.JPG", {"A.JPG", "F.JPG"}, 3},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        Card card;
        std::vector<TSectorRange> runs;
        const Bytes e = MakeFragmentedPhoto(card, layout, runs);
        ASSERT_GE(runs.size(), 2u);
        const TSectorRanges taken = Owned(card, layout.live);

        const auto start = std::chrono::steady_clock::now();
        const TJpegRebuild rebuilt = RebuildJpeg(card.Reader(), card.GeometryFrom(runs.front().First), taken);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        ASSERT_TRUE(rebuilt.Rebuilt()) << rebuilt.Attempts << " attempts";
        EXPECT_TRUE(rebuilt.Bytes == e);
        EXPECT_EQ(rebuilt.Pieces, layout.pieces);
        // The runs are E's clusters, up to the sector its last byte lies in.
        std::uint64_t sectors = 0, expected = (e.size() + 511) / 512;
        for (const TSectorRange& r : rebuilt.Runs) sectors += r.Count;
        EXPECT_EQ(sectors, expected);
        EXPECT_EQ(rebuilt.Runs.front().First, runs.front().First);
        EXPECT_EQ(rebuilt.Runs.back().First, runs.back().First);
        std::printf("  %s: %zu bytes, %u pieces, %u attempts, %llu bytes decoded, %.0f ms\n", layout.name, e.size(),
                    rebuilt.Pieces, rebuilt.Attempts, static_cast<unsigned long long>(rebuilt.BytesDecoded), took.count());
    }
}

// A photo whose second piece was written over (here: with another photo's data) is not made up
// from whatever decodes: nothing comes back.
TEST_F(FragmentRebuild, APhotoWhoseSecondPieceIsOverwrittenIsNotRebuilt) {
    Card card;
    const Layout layout{"", "noise", {{"A", 300}, {"B", 400}, {"C", 500}, {"D", 300}}, "::B.JPG", "::C.JPG", {"A.JPG", "D.JPG"}, 2};
    std::vector<TSectorRange> runs;
    const Bytes e = MakeFragmentedPhoto(card, layout, runs);
    ASSERT_GE(runs.size(), 2u);
    const Bytes other = card.Photo("other.jpg", "noise", 99, "1600x1200");
    card.Overwrite(runs[1].First, Bytes(other.begin() + 1000, other.begin() + 1000 + runs[1].Count * 512));

    const TJpegRebuild rebuilt = RebuildJpeg(card.Reader(), card.GeometryFrom(runs.front().First), Owned(card, layout.live));
    EXPECT_FALSE(rebuilt.Rebuilt());
    EXPECT_TRUE(rebuilt.Bytes.empty());
}

// On a card of random bytes the search ends at its bounds: the continuations tried, and the
// bytes decoded.
TEST_F(FragmentRebuild, TheSearchKeepsToItsBoundsOnACardOfRandomData) {
    Card card;
    const Bytes photo = card.Photo("p.jpg", "noise", 3, "1600x1200");
    Bytes image(std::size_t{32} << 20);
    std::mt19937_64 random(42);
    for (std::size_t i = 0; i < image.size(); i += 8) {
        const std::uint64_t v = random();
        std::memcpy(image.data() + i, &v, 8);
    }
    // The photo's first 200 KiB at sector 4096, random data after it.
    std::copy(photo.begin(), photo.begin() + (200 << 10), image.begin() + 4096 * 512);
    WriteAll(card.Dir() / "card.img", image);
    TRebuildGeometry geometry;
    geometry.FirstSector = 4096;
    geometry.TotalSectors = image.size() / 512;
    geometry.SectorsPerCluster = 8;
    geometry.ClusterOrigin = 0;

    // The continuations tried stop at the bound, whichever it is; so do the bytes decoded.
    std::vector<std::uint32_t> tried;
    for (const std::uint32_t bound : {200u, 4000u}) {
        TRebuildLimits limits;
        limits.MaxAttempts = bound;
        const TJpegRebuild rebuilt = RebuildJpeg(card.Reader(), geometry, TSectorRanges{}, limits);
        EXPECT_FALSE(rebuilt.Rebuilt());
        EXPECT_LE(rebuilt.Attempts, bound);
        tried.push_back(rebuilt.Attempts);
    }
    EXPECT_GT(tried[1], 200u);
    TRebuildLimits limits;
    limits.MaxDecodedBytes = 8u << 20;
    limits.MaxAttempts = 1'000'000;
    const TJpegRebuild rebuilt = RebuildJpeg(card.Reader(), geometry, TSectorRanges{}, limits);
    EXPECT_FALSE(rebuilt.Rebuilt());
    EXPECT_LE(rebuilt.BytesDecoded, limits.MaxDecodedBytes + 4096);  // a walk stops after the cluster it is in
    EXPECT_LT(rebuilt.Attempts, 1'000'000u);
}

// The staged copy of a deleted fragmented photo, as the folder based method read it (its first
// cluster and the free clusters after it, passing over live files), is rewritten with the rebuilt
// picture, and only it: a damaged file that cannot be rebuilt stays as it was.
TEST_F(FragmentRebuild, DamagedStagedPhotosAreRewrittenWhole) {
    Card card;
    const Layout layout{"", "noise", {{"A", 300}, {"B", 400}, {"C", 500}, {"D", 300}}, "::B.JPG", "::C.JPG", {"A.JPG", "D.JPG"}, 2};
    std::vector<TSectorRange> runs;
    const Bytes e = MakeFragmentedPhoto(card, layout, runs);
    ASSERT_GE(runs.size(), 2u);
    const Card::Geometry g = card.ReadGeometry();

    // The folder based method's read of E: consecutive clusters from its first, passing over
    // those the live files hold. Each read sector is in taken, as the combined run records them.
    TSectorRanges live = Owned(card, layout.live);
    TSectorRanges taken = live;
    TSectorRanges::Cursor owned(live);
    const auto read = card.Reader();
    Bytes asRead;
    for (std::uint64_t sector = runs.front().First; asRead.size() < e.size(); sector += g.spc) {
        if (owned.Contains(sector)) continue;
        Bytes cluster(std::size_t{g.spc} * 512);
        ASSERT_TRUE(read(sector, g.spc, cluster.data()));
        asRead.insert(asRead.end(), cluster.begin(), cluster.end());
        taken.Add(sector, g.spc);
    }
    asRead.resize(e.size());
    const fs::path staged = card.Dir() / "staged";
    fs::create_directories(staged);
    WriteAll(staged / "image1.jpg", asRead);
    // A picture's start with nothing of the rest on the card.
    WriteAll(staged / "image2.jpg", Bytes(e.begin(), e.begin() + 20000));
    WriteAll(staged / "image3.jpg", e);

    TStagedList list;
    for (const char* name : {"image1.jpg", "image2.jpg", "image3.jpg"}) list.Add((staged / name).string());
    ASSERT_EQ(CheckFileContent(ContentCheck::JpegDecode, list.Files()[0].Path), TFileCondition::Damaged);
    list.SetCondition(0, TFileCondition::Damaged);
    list.SetCondition(1, TFileCondition::Damaged);
    list.SetCondition(2, TFileCondition::Whole);
    // Only the first is where it was read; the second's first sector is a sector of random data.
    list.SetFirstSector(0, runs.front().First);
    list.SetFirstSector(1, g.total - 64);
    taken.Normalize();

    TRebuildDevice device;
    device.Read = read;
    device.TotalSectors = g.total;
    device.SectorsPerCluster = g.spc;
    device.ClusterOrigin = g.origin;
    int asked = 0;
    const auto rebuilt = RebuildDamagedPhotos(list, device, taken, [&] { return ++asked > 0; });
    ASSERT_EQ(rebuilt, std::vector<std::size_t>{0});
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(ReadAll(staged / "image1.jpg") == e);
    EXPECT_EQ(list.Files()[0].Condition, TFileCondition::Whole);
    EXPECT_EQ(list.Files()[0].Size, e.size());
    EXPECT_EQ(ReadAll(staged / "image2.jpg").size(), 20000u);
    EXPECT_EQ(list.Files()[1].Condition, TFileCondition::Damaged);
    EXPECT_EQ(std::distance(fs::directory_iterator(staged), fs::directory_iterator()), 3);

    // Stopped before the first photo, nothing is rewritten.
    WriteAll(staged / "image1.jpg", asRead);
    list.UpdateSize(0);
    list.SetCondition(0, TFileCondition::Damaged);
    EXPECT_TRUE(RebuildDamagedPhotos(list, device, taken, [] { return false; }).empty());
    EXPECT_TRUE(ReadAll(staged / "image1.jpg") == asRead);
}

}  // namespace
}  // namespace quorvane::testing
