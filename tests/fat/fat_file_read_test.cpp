// Reading files: along a chain, over consecutive clusters, and where the chain is damaged.
#include "fat/fat_drive.h"
#include "fat/fat_image_builder.h"
#include "fat/fat_stream.h"

#include <gtest/gtest.h>

#include <map>

namespace quorvane {
namespace {

using namespace quorvane::testing;

// Reads a file the way the copy-out does: blocks until a call delivers nothing.
Bytes ReadAll(TFATdrive& drive, std::uint32_t cluster, std::uint32_t size, std::uint8_t fatNo,
              std::uint32_t block = 65536) {
    TFATFileInfo info;
    drive.ResetByCluster(cluster, size, info);
    Bytes out;
    Bytes buffer(block);
    std::uint32_t done = 0;
    for (int calls = 0; calls < 100000 && drive.BlockRead(info, block, buffer.data(), fatNo, done) && done > 0; ++calls)
        out.insert(out.end(), buffer.begin(), buffer.begin() + done);
    return out;
}

// The bytes of the listed clusters of a pattern laid out one cluster per entry.
Bytes Concat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(FatFileRead, SmallFilesAndTheEndOfAFile) {
    FatImage image(FatLayout::Fat16(5000));
    image.Chain({3, 4});
    Bytes data = Pattern(1000, 1);
    image.Chain({10, 11});
    image.WriteData(10, data);
    auto m = Mount(image);
    TFATdrive& d = *m.drive;
    Bytes buffer(65536);
    std::uint32_t done = 99;

    TFATFileInfo empty;
    d.ResetByCluster(0, 0, empty);
    EXPECT_TRUE(d.BlockRead(empty, 65536, buffer.data(), 1, done));
    EXPECT_EQ(done, 0u);

    TFATFileInfo info;
    d.ResetByCluster(10, 1000, info);
    m.device->reads.clear();
    EXPECT_TRUE(d.BlockRead(info, 65536, buffer.data(), 1, done));
    EXPECT_EQ(done, 1000u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 1000), data);
    EXPECT_EQ(std::count_if(m.device->reads.begin(), m.device->reads.end(),
                            [&](std::uint32_t s) { return s >= d.FirstDataSector; }),
              2);
    EXPECT_TRUE(d.BlockRead(info, 65536, buffer.data(), 1, done));
    EXPECT_EQ(done, 0u);
    info.Position = 1001;
    EXPECT_FALSE(d.BlockRead(info, 65536, buffer.data(), 1, done));
    EXPECT_EQ(done, 0u);

    // Reads that start inside a sector go on from there and stop at the size, not a sector end.
    d.ResetByCluster(10, 700, info);
    ASSERT_TRUE(d.BlockRead(info, 100, buffer.data(), 1, done));
    EXPECT_EQ(done, 100u);
    ASSERT_TRUE(d.BlockRead(info, 65536, buffer.data(), 1, done));
    EXPECT_EQ(done, 600u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 600), Bytes(data.begin() + 100, data.begin() + 700));

    // A size without a first cluster reads nothing rather than sectors in front of the data area.
    EXPECT_TRUE(ReadAll(d, 0, 5000, 1).empty());
}

TEST(FatFileRead, ChainsAreFollowedUntilTheyEndOrBreak) {
    // Four clusters of file data, one per listed cluster; the FAT says how they are linked.
    constexpr std::uint32_t clusters = 5000;
    const std::uint32_t last = clusters + 1;
    struct Case {
        const char* name;
        std::vector<std::uint32_t> placed;                // where the file's four clusters lie
        std::function<void(FatImage&)> fat;               // the FAT entries after the chain is written
        std::size_t clustersRead;                         // how many of the four come back
    } cases[] = {
        {"fragmented chain", {10, 20, 15, 30}, nullptr, 4},
        {"chain through cluster 2", {10, 2, 15, 16}, nullptr, 4},
        {"chain through the last cluster", {10, last, 15, 16}, nullptr, 4},
        {"end mark after two clusters", {10, 11, 12, 13}, [](FatImage& i) { i.SetFat(11, 0xFFFF); }, 2},
        {"bad cluster after one", {10, 11, 12, 13}, [](FatImage& i) { i.SetFat(10, 0xFFF7); }, 1},
        {"link outside the volume", {10, 11, 12, 13}, [&](FatImage& i) { i.SetFat(10, last + 1); }, 1},
        {"link to cluster 1", {10, 11, 12, 13}, [](FatImage& i) { i.SetFat(10, 1); }, 1},
        {"chain looping back", {10, 11, 12, 13}, [](FatImage& i) { i.SetFat(12, 10); }, 3},
        {"cluster linked to itself", {10, 11, 12, 13}, [](FatImage& i) { i.SetFat(10, 10); }, 1},
        // A released chain: the clusters that follow the first are taken one after the other.
        {"all entries free", {10, 11, 12, 13}, [](FatImage& i) { for (std::uint32_t c : {10, 11, 12, 13}) i.SetFat(c, 0); }, 4},
        {"free from the second cluster on", {10, 40, 41, 42}, [](FatImage& i) { for (std::uint32_t c : {40, 41, 42}) i.SetFat(c, 0); }, 4},
        // A released file written around a file that is still live: its clusters are passed over.
        {"released around a live file", {10, 12, 14, 15}, [](FatImage& i) {
             for (std::uint32_t c : {10, 12, 14, 15}) i.SetFat(c, 0);
             i.SetFat(11, 0xFFFF);
             i.Chain({13, 16});
         }, 4},
    };
    // Clusters of one sector are read sector by sector, larger ones several sectors at a time.
    for (std::uint8_t spc : {1, 4}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.name << ", " << int(spc) << " sectors per cluster");
            FatImage image(FatLayout::Fat16(clusters, spc));
            image.Chain({3, 4});
            image.Chain(c.placed);
            if (c.fat) c.fat(image);
            std::vector<Bytes> parts;
            for (std::size_t i = 0; i < c.placed.size(); ++i) {
                parts.push_back(Pattern(image.BytesPerCluster(), static_cast<std::uint8_t>(i + 1)));
                image.WriteData(c.placed[i], parts.back());
            }
            auto m = Mount(image);
            ASSERT_EQ(m.drive->ActiveFAT, 1);
            const Bytes expected = Concat(std::vector<Bytes>(parts.begin(), parts.begin() + c.clustersRead));
            EXPECT_EQ(ReadAll(*m.drive, c.placed[0], 4 * image.BytesPerCluster(), 1), expected);
            // Blocks that end inside sectors.
            EXPECT_EQ(ReadAll(*m.drive, c.placed[0], 4 * image.BytesPerCluster(), 1, 1000), expected);
        }
    }
}

TEST(FatFileRead, WithoutAFatFilesAreContiguous) {
    FatImage image(FatLayout::Fat16(5000, 2));  // quick-formatted
    Bytes data = Pattern(3 * 1024, 7);
    image.WriteData(100, data);
    auto m = Mount(image);
    ASSERT_EQ(m.drive->ActiveFAT, 0);
    m.device->reads.clear();
    EXPECT_EQ(ReadAll(*m.drive, 100, static_cast<std::uint32_t>(data.size()), m.drive->ActiveFAT), data);
    for (std::uint32_t s : m.device->reads) EXPECT_GE(s, m.drive->FirstDataSector) << "FAT read";

    // A contiguous read stops at the end of the volume.
    const std::uint32_t last = m.drive->ClusterCount + 1;
    EXPECT_EQ(ReadAll(*m.drive, last, 10 * 1024, 0).size(), 1024u);
}

// FATNo counts the FAT copies from 1 (0 follows none), GetFAT from 0: a file whose chain differs
// between the copies shows which copy each FATNo reads.
TEST(FatFileRead, FatNoPicksTheCopyItFollows) {
    FatImage image(FatLayout::Fat16(5000));
    image.Chain({3, 4});
    image.Chain({10, 30, 31});
    image.Chain({20, 21});
    // In the second copy cluster 10 links to 20 instead of 30.
    const std::size_t secondCopy = std::size_t{image.Layout().reservedSectors} + image.Layout().sectorsPerFAT;
    (*image.bytes)[secondCopy * 512 + 2 * 10] = 20;
    std::map<std::uint32_t, Bytes> data;
    for (std::uint32_t c : {10, 11, 12, 20, 21, 30, 31}) {
        data[c] = Pattern(512, static_cast<std::uint8_t>(c));
        image.WriteData(c, data[c]);
    }
    auto m = Mount(image);
    ASSERT_EQ(m.drive->ActiveFAT, 1);
    ASSERT_EQ(m.drive->GetFAT(10, 1), 20u);

    struct Case {
        std::uint8_t fatNo;
        std::vector<std::uint32_t> clusters;
    } cases[] = {
        {0, {10, 11, 12}},  // no FAT: consecutive clusters
        {1, {10, 30, 31}},  // the first copy
        {2, {10, 20, 21}},  // the second copy
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "FATNo " << int(c.fatNo));
        std::vector<Bytes> parts;
        for (std::uint32_t cluster : c.clusters) parts.push_back(data[cluster]);
        EXPECT_EQ(ReadAll(*m.drive, 10, 3 * 512, c.fatNo), Concat(parts));
    }
}

TEST(FatFileRead, AnUnreadableSectorShortensOneCallOnly) {
    FatImage image(FatLayout::Fat16(5000, 4));
    image.Chain({3, 4});
    Bytes data = Pattern(4 * 2048, 3);
    image.Chain({10, 11, 12, 13});
    image.WriteData(10, data);
    auto m = Mount(image);
    const std::uint32_t bad = image.ClusterSector(11) + 1;
    m.device->failing = {bad};

    TFATFileInfo info;
    m.drive->ResetByCluster(10, static_cast<std::uint32_t>(data.size()), info);
    Bytes buffer(65536);
    std::uint32_t done = 0;
    ASSERT_TRUE(m.drive->BlockRead(info, 65536, buffer.data(), 1, done));
    EXPECT_EQ(done, 2048u + 1024u);  // up to and including the failed sector

    Bytes expected = data;
    std::fill(expected.begin() + 2048 + 512, expected.begin() + 3072, 0);
    EXPECT_EQ(ReadAll(*m.drive, 10, static_cast<std::uint32_t>(data.size()), 1), expected);
}

TEST(FatFileRead, SeekFindsTheClusterOfAPosition) {
    FatImage image(FatLayout::Fat16(5000));
    image.Chain({3, 4});
    std::vector<std::uint32_t> chain = {10, 20, 15, 30};
    image.Chain(chain);
    Bytes data = Pattern(4 * 512 - 100, 9);
    for (std::size_t i = 0; i < chain.size(); ++i)
        image.WriteData(chain[i], Bytes(data.begin() + i * 512, data.begin() + std::min(data.size(), (i + 1) * 512)));
    auto m = Mount(image);
    TFATdrive& d = *m.drive;
    const auto size = static_cast<std::uint32_t>(data.size());

    TFATFileInfo info;
    d.ResetByCluster(10, size, info);
    ASSERT_TRUE(d.Seek(info, 1100, 1));
    EXPECT_EQ(info.CurrentCluster, 15u);
    Bytes buffer(4096);
    std::uint32_t done = 0;
    ASSERT_TRUE(d.BlockRead(info, 4096, buffer.data(), 1, done));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + done), Bytes(data.begin() + 1100, data.end()));

    EXPECT_FALSE(d.Seek(info, size, 1));
    TFATFileInfo noCluster;
    d.ResetByCluster(0, size, noCluster);
    EXPECT_FALSE(d.Seek(noCluster, 10, 1));
    image.SetFat(20, 0xFFFF);  // the chain now ends after two clusters
    d.FATBufSector = 0;
    d.ResetByCluster(10, size, info);
    EXPECT_FALSE(d.Seek(info, 1100, 1));

    std::uint32_t cluster = 10;
    EXPECT_TRUE(d.GetRecPosCluster(cluster, 600, 1));
    EXPECT_EQ(cluster, 20u);
    EXPECT_FALSE(d.GetRecPosCluster(cluster = 10, 1100, 1));
}

TEST(FatFileRead, StreamReadsAndSeeksButNeverWrites) {
    FatImage image(FatLayout::Fat16(5000));
    image.Chain({3, 4});
    Bytes data = Pattern(1500, 4);
    image.Chain({10, 11, 12});
    image.WriteData(10, data);
    auto m = Mount(image);

    TFATStream stream(*m.drive, 10, 1500, 1);
    std::uint8_t b[600];
    EXPECT_EQ(stream.Read(b, 600), 600u);
    EXPECT_EQ(stream.Seek(-100, TFATStream::Origin::End), 1400);
    EXPECT_EQ(stream.Read(b, 600), 100u);
    EXPECT_EQ(Bytes(b, b + 100), Bytes(data.begin() + 1400, data.end()));
    EXPECT_EQ(stream.Read(b, 600), 0u);
    EXPECT_EQ(stream.Seek(-1000, TFATStream::Origin::Current), 500);
    EXPECT_EQ(stream.Read(b, 1), 1u);
    EXPECT_EQ(b[0], data[500]);
    EXPECT_EQ(stream.Seek(-1, TFATStream::Origin::Beginning), -1);
    EXPECT_EQ(stream.Seek(1501, TFATStream::Origin::Beginning), -1);
    EXPECT_EQ(stream.Write(b, 1), 0u);
    EXPECT_EQ(Bytes(image.bytes->begin() + image.ClusterSector(10) * 512,
                    image.bytes->begin() + image.ClusterSector(10) * 512 + 1500),
              data);
}

TEST(FatFileRead, Fat32FilesBeyondCluster65535) {
    FatImage image(FatLayout::Fat32(70000));
    DirSlot root = image.Root();
    Bytes data = Pattern(1300, 5);
    image.AddFile(root, "BIG     JPG", 69000, data, "big picture.jpg");
    auto m = Mount(image);
    TDirCursor cursor(m.drive->RootCluster, m.drive->RootDirSector);
    TDirEntry entry;
    std::string name;
    ASSERT_TRUE(m.drive->FindNextEntry(cursor, entry, name, false));
    EXPECT_EQ(name, "big picture.jpg");
    EXPECT_EQ(entry.FirstCluster(), 69000u);
    EXPECT_EQ(ReadAll(*m.drive, entry.FirstCluster(), entry.FileSize, m.drive->ActiveFAT), data);
}

}  // namespace
}  // namespace quorvane
