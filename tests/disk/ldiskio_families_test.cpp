// Both families end to end over the in-process stand-ins and the drive table: the NT volume
// services, and the VWIN32 and INT2F.VXD drivers of the 9x family, must read and write the
// same sectors of the same image.
#include "disk/ldiskio.h"
#include "disk/ldiskio_platform.h"
#include "platform/drive_table.h"
#include "platform/memory_volume.h"
#include "platform/nt_volume_stand_in.h"
#include "platform/win9x_driver_stand_in.h"
#include "../platform/image_fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quorvane {
namespace {

using testing::TempDir;

class LdiskioFamilies : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.file("sys"));
        DriveTable::instance().setSysfsRoot(dir.file("sys"));
        DriveTable::instance().clear();
        ldiskio::PlatformServices services;
        services.version = VersionForFamily(GetParam());
        services.volumes = &StandInVolumeServices();
        services.drivers = &StandInDriverServices();
        ldiskio::Restart(services);
    }
    void TearDown() override {
        ldiskio::Shutdown();
        DriveTable::instance().clear();
    }

    std::uint8_t add(const std::string& path, std::size_t which = 0) {
        std::string error;
        const auto numbers = DriveTable::instance().addPath(path, error);
        EXPECT_GT(numbers.size(), which) << error;
        return numbers.size() > which ? numbers[which] : 0;
    }

    // A FAT16 card whose data area holds a pattern, so every sector differs.
    std::string makeCard(const std::string& name) {
        const std::string image = testing::MakeFatImage(dir, name, 16, 8192, "CARD");
        auto bytes = testing::ReadFileBytes(image);
        for (std::size_t i = 1 << 20; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + i / 512);
        testing::WriteFileBytes(image, bytes);
        return image;
    }

    TempDir dir;
};

TEST_P(LdiskioFamilies, ReadTheWholeCardAsTheFileHoldsIt) {
    const std::string image = makeCard("card.img");
    ASSERT_EQ(::chmod(image.c_str(), 0444), 0);  // a read-only image reads fine
    const std::uint8_t drive = add(image);
    const auto expected = testing::ReadFileBytes(image);

    TLogDriveParams params;
    ASSERT_TRUE(GetLogDriveParams(drive, params));
    EXPECT_EQ(params.BytesPerSector, 512u);
    EXPECT_EQ(params.TotalSectors, expected.size() / 512);
    EXPECT_EQ(params.Removable, 1);

    std::vector<std::uint8_t> read(expected.size());
    const std::uint32_t total = params.TotalSectors;
    for (std::uint32_t lba = 0; lba < total;) {
        const auto count = static_cast<std::uint16_t>(std::min<std::uint32_t>(1500, total - lba));
        ASSERT_TRUE(ReadLogicalSectors(drive, lba, count, read.data() + std::size_t{lba} * 512)) << lba;
        lba += count;
    }
    EXPECT_EQ(read, expected);

    // The last sector and one beyond: the read fails rather than invent a sector.
    std::vector<std::uint8_t> two(1024, 0xEE);
    EXPECT_FALSE(ReadLogicalSectors(drive, total - 1, 2, two.data()));
    EXPECT_EQ(two[512], 0xEE);
    EXPECT_FALSE(ReadLogicalSectors(drive, total, 1, two.data()));
}

// Images of 2^32 sectors (2 TiB) and more: the 32-bit count stops at its largest value instead
// of wrapping to a small one, the 64-bit count is exact, and the NT family reads past sector 2^32.
TEST_P(LdiskioFamilies, ImagesOf2TiBAndMoreKeepTheirSize) {
    constexpr std::uint64_t TwoTiB = std::uint64_t{1} << 41;
    for (const std::uint64_t extra : {std::uint64_t{0}, std::uint64_t{512}}) {
        SCOPED_TRACE(extra);
        const std::string image = dir.file("big" + std::to_string(extra) + ".img");
        {
            std::ofstream(image, std::ios::binary).put('\0');
            std::filesystem::resize_file(image, TwoTiB + extra);
            std::fstream last(image, std::ios::binary | std::ios::in | std::ios::out);
            last.seekp(static_cast<std::streamoff>(TwoTiB + extra - 512));
            last.write("LAST", 4);
        }
        const std::uint8_t drive = add(image);
        TLogDriveParams params;
        ASSERT_TRUE(GetLogDriveParams(drive, params));
        EXPECT_EQ(params.TotalSectors, 0xFFFFFFFFu);
        std::uint64_t sectors = 0;
        ASSERT_TRUE(GetLogDriveSectorCount(drive, sectors));
        if (GetParam() != "nt") {
            EXPECT_EQ(sectors, 0xFFFFFFFFu);  // the older family cannot tell more
            continue;
        }
        EXPECT_EQ(sectors, (TwoTiB + extra) / 512);
        std::vector<std::uint8_t> sector(512);
        ASSERT_TRUE(ReadLogicalSectors64(drive, sectors - 1, 1, sector.data()));
        EXPECT_EQ(std::string(sector.begin(), sector.begin() + 4), "LAST");
        EXPECT_FALSE(ReadLogicalSectors64(drive, sectors, 1, sector.data()));
        std::filesystem::remove(image);
    }
}

TEST_P(LdiskioFamilies, AReadOnlyLoopDeviceReadsLikeItsImage) {
    const std::string image = makeCard("card.img");
    testing::LoopDevice loop(image, "-r");
    if (loop.device().empty()) GTEST_SKIP() << "needs root and a free loop device";
    const std::uint8_t drive = add(loop.device());
    const auto expected = testing::ReadFileBytes(image);

    TLogDriveParams params;
    ASSERT_TRUE(GetLogDriveParams(drive, params));
    EXPECT_EQ(params.BytesPerSector, 512u);
    EXPECT_EQ(params.TotalSectors, expected.size() / 512);

    std::vector<std::uint8_t> read(3000 * 512);
    ASSERT_TRUE(ReadLogicalSectors(drive, 2000, 3000, read.data()));
    EXPECT_TRUE(std::equal(read.begin(), read.end(), expected.begin() + 2000 * 512));
    EXPECT_FALSE(WriteLogicalSectors(drive, 2000, 1, read.data()));
    NT_CloseDrive();
}

TEST_P(LdiskioFamilies, APartitionEndsWhereItsTableSays) {
    const std::string image = testing::MakePartitionedImage(dir, "card.img");
    const std::uint8_t first = add(image, 1);
    const auto bytes = testing::ReadFileBytes(image);

    TLogDriveParams params;
    ASSERT_TRUE(GetLogDriveParams(first, params));
    EXPECT_EQ(params.TotalSectors, testing::PART1_SECTORS);

    std::vector<std::uint8_t> sector(512);
    ASSERT_TRUE(ReadLogicalSectors(first, 0, 1, sector.data()));
    EXPECT_TRUE(std::equal(sector.begin(), sector.end(), bytes.begin() + testing::PART1_START * 512));

    // The next partition's boot sector follows on the file, but not on this volume.
    std::vector<std::uint8_t> two(1024, 0xEE);
    EXPECT_FALSE(ReadLogicalSectors(first, testing::PART1_SECTORS - 1, 2, two.data()));
    EXPECT_EQ(two[512], 0xEE);
}

TEST_P(LdiskioFamilies, WritesLandOnTheVolumeAndReadBack) {
    const std::string image = makeCard("card.img");
    const std::uint8_t drive = add(image);
    std::vector<std::uint8_t> data(2 * 512);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0xA0 + i % 7);
    ASSERT_TRUE(WriteLogicalSectors(drive, 100, 2, data.data()));
    std::vector<std::uint8_t> back(data.size());
    ASSERT_TRUE(ReadLogicalSectors(drive, 100, 2, back.data()));
    EXPECT_EQ(back, data);
    NT_CloseDrive();
    const auto bytes = testing::ReadFileBytes(image);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), bytes.begin() + 100 * 512));
}

TEST_P(LdiskioFamilies, CdRomDrivesReadInTwoKilobyteSectors) {
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(300 * 2048);
    for (std::size_t i = 0; i < bytes->size(); ++i) (*bytes)[i] = static_cast<std::uint8_t>(i / 2048 + i);
    DriveEntry cd;
    cd.kind = DRIVE_CDROM;
    cd.opener = std::make_shared<MemoryVolumeOpener>(bytes, 2048);
    const auto drive = DriveTable::instance().addVolume(cd);
    ASSERT_TRUE(drive);

    TLogDriveParams params;
    GetLogDriveParams(*drive, params);
    EXPECT_EQ(params.DriveType, 4);
    EXPECT_EQ(params.BytesPerSector, 2048u);
    EXPECT_EQ(params.TotalSectors, 300u);

    std::vector<std::uint8_t> read(10 * 2048);
    ASSERT_TRUE(ReadLogicalSectors(*drive, 7, 10, read.data()));
    EXPECT_TRUE(std::equal(read.begin(), read.end(), bytes->begin() + 7 * 2048));
}

TEST_P(LdiskioFamilies, AScratchedSectorFailsItsRead) {
    const std::string image = makeCard("card.img");
    auto opener = std::make_shared<MemoryVolumeOpener>(
        std::make_shared<std::vector<std::uint8_t>>(testing::ReadFileBytes(image)));
    opener->failingSectors = {40};
    DriveEntry card;
    card.kind = DRIVE_REMOVABLE;
    card.opener = opener;
    const auto drive = DriveTable::instance().addVolume(card);
    std::vector<std::uint8_t> buffer(16 * 512);
    EXPECT_FALSE(ReadLogicalSectors(*drive, 32, 16, buffer.data()));
    EXPECT_TRUE(ReadLogicalSectors(*drive, 41, 16, buffer.data()));
}

INSTANTIATE_TEST_SUITE_P(Families, LdiskioFamilies, ::testing::Values("nt", "9x", "95"));

TEST(LdiskioFamilyChoice, TheEnvironmentPicksTheFamily) {
    ::setenv("QUORVANE_FAMILY", "9x", 1);
    EXPECT_EQ(GetVersionExA().dwPlatformId, VER_PLATFORM_WIN32_WINDOWS);
    ::unsetenv("QUORVANE_FAMILY");
    EXPECT_EQ(GetVersionExA().dwPlatformId, VER_PLATFORM_WIN32_NT);
}

}  // namespace
}  // namespace quorvane
