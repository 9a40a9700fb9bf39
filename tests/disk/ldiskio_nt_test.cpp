// The NT family's sector logic over a fake volume service: chunking through the transfer
// buffer, the kept handle, positioning and the parameter query.
#include "disk/ldiskio.h"
#include "disk/ldiskio_platform.h"
#include "ldiskio_fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane {
namespace {

using ::testing::ElementsAre;
using testing::FakeNtDrive;
using testing::FakeNtVolumes;

class LdiskioNt : public ::testing::Test {
protected:
    void SetUp() override { start(); }
    void TearDown() override { ldiskio::Shutdown(); }

    void start() {
        ldiskio::PlatformServices services;
        services.version = VersionForFamily("nt");
        services.volumes = &nt;
        ldiskio::Restart(services);
    }

    static bool holdsVolumeBytes(const std::vector<std::uint8_t>& buffer, std::uint64_t firstByte, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            if (buffer[i] != FakeNtDrive::byteAt(firstByte + i)) return false;
        }
        return true;
    }

    FakeNtVolumes nt;
};

TEST_F(LdiskioNt, ReadsInChunksOfAThousandSectorsThroughTheTransferBuffer) {
    nt.drives[5] = FakeNtVolumes::Disk(10000);
    std::vector<std::uint8_t> buffer(2500 * 512);
    ASSERT_TRUE(ReadLogicalSectors(5, 100, 2500, buffer.data()));
    EXPECT_THAT(nt.reads, ElementsAre(512000u, 512000u, 256000u));
    EXPECT_TRUE(holdsVolumeBytes(buffer, 100 * 512, buffer.size()));
}

TEST_F(LdiskioNt, FourKilobyteSectorsUseChunksThatFitTheTransferBuffer) {
    nt.drives[5] = FakeNtVolumes::Disk(5000, 4096, 12);
    std::vector<std::uint8_t> buffer(1200 * 4096);
    ASSERT_TRUE(ReadLogicalSectors(5, 0, 1200, buffer.data()));
    EXPECT_THAT(nt.reads, ElementsAre(2048000u, 2048000u, 819200u));
    EXPECT_TRUE(holdsVolumeBytes(buffer, 0, buffer.size()));
}

TEST_F(LdiskioNt, AShortChunkFailsTheReadAfterItsBytesWereCopied) {
    nt.drives[5] = FakeNtVolumes::Disk(1500);
    std::vector<std::uint8_t> buffer(2500 * 512, 0xEE);
    EXPECT_FALSE(ReadLogicalSectors(5, 0, 2500, buffer.data()));
    EXPECT_THAT(nt.reads, ElementsAre(512000u, 512000u));  // the third chunk is never asked for
    EXPECT_TRUE(holdsVolumeBytes(buffer, 0, 1500 * 512));
    EXPECT_EQ(buffer[1500 * 512], 0xEE);
}

TEST_F(LdiskioNt, PositionIsA64BitProductWithTheHighHalfPassed) {
    nt.drives[5] = FakeNtVolumes::Disk(0x01000000);  // 8 GiB
    std::vector<std::uint8_t> buffer(512);
    ASSERT_TRUE(ReadLogicalSectors(5, 0x00900001, 1, buffer.data()));
    // 0x00900001 * 512 = 0x1_2000_0200
    ASSERT_EQ(nt.seeks.size(), 1u);
    EXPECT_EQ(nt.seeks[0].first, 0x20000200u);
    EXPECT_EQ(nt.seeks[0].second, 1);
    EXPECT_TRUE(holdsVolumeBytes(buffer, 0x120000200ull, 512));
}

TEST_F(LdiskioNt, DriveNumbersNameTheirDevices) {
    nt.drives[1] = FakeNtVolumes::Disk(100);
    nt.drives[3] = FakeNtVolumes::Disk(100);
    std::vector<std::uint8_t> buffer(512);
    ReadLogicalSectors(1, 0, 1, buffer.data());
    ReadLogicalSectors(3, 0, 1, buffer.data());
    EXPECT_EQ(nt.calls.front(), "open \\\\.\\A: r");
    EXPECT_NE(std::find(nt.calls.begin(), nt.calls.end(), "open \\\\.\\C: r"), nt.calls.end());
}

TEST_F(LdiskioNt, TheHandleIsKeptForOneDriveAndModeOnly) {
    nt.drives[5] = FakeNtVolumes::Disk(100);
    nt.drives[6] = FakeNtVolumes::Disk(100);
    std::vector<std::uint8_t> buffer(512);
    // read, read, write, read of one drive: opened for reading, writing, reading again.
    ASSERT_TRUE(ReadLogicalSectors(5, 0, 1, buffer.data()));
    ASSERT_TRUE(ReadLogicalSectors(5, 1, 1, buffer.data()));
    ASSERT_TRUE(WriteLogicalSectors(5, 2, 1, buffer.data()));
    ASSERT_TRUE(ReadLogicalSectors(5, 3, 1, buffer.data()));
    EXPECT_EQ(nt.ioHandles.size(), 3u);
    EXPECT_EQ(nt.createCount('w'), 1);

    // Another drive closes the kept handle first.
    const VolumeHandle drive5 = ldiskio::Inspect().hNTDrive;
    ASSERT_TRUE(ReadLogicalSectors(6, 0, 1, buffer.data()));
    EXPECT_TRUE(nt.closed.count(drive5));
    EXPECT_EQ(ldiskio::Inspect().ntDrive, 6);
    EXPECT_TRUE(ldiskio::Inspect().ntDriveForRead);
}

TEST_F(LdiskioNt, CloseDriveClosesTheKeptHandleAndOpensNothing) {
    nt.drives[3] = FakeNtVolumes::Disk(100);
    nt.drives[5] = FakeNtVolumes::Disk(100);
    std::vector<std::uint8_t> buffer(512);

    EXPECT_TRUE(NT_CloseDrive());  // nothing kept: nothing happens
    EXPECT_TRUE(nt.calls.empty());

    ASSERT_TRUE(ReadLogicalSectors(5, 0, 1, buffer.data()));
    const VolumeHandle kept = ldiskio::Inspect().hNTDrive;
    const auto callsBefore = nt.calls.size();
    EXPECT_TRUE(NT_CloseDrive());
    EXPECT_THAT(std::vector<std::string>(nt.calls.begin() + static_cast<long>(callsBefore), nt.calls.end()),
                ElementsAre("close"));
    EXPECT_TRUE(nt.closed.count(kept));
    EXPECT_EQ(ldiskio::Inspect().hNTDrive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(nt.createCount('w'), 0);

    ASSERT_TRUE(ReadLogicalSectors(5, 0, 1, buffer.data()));
    EXPECT_EQ(nt.ioHandles.size(), 2u);
}

TEST_F(LdiskioNt, AFailedOpenIsTriedAgainOnTheNextCall) {
    nt.drives[5] = FakeNtVolumes::Disk(100);
    nt.drives[5].openable = false;
    std::vector<std::uint8_t> buffer(512);
    EXPECT_FALSE(ReadLogicalSectors(5, 0, 1, buffer.data()));
    nt.drives[5].openable = true;
    EXPECT_TRUE(ReadLogicalSectors(5, 0, 1, buffer.data()));
}

TEST_F(LdiskioNt, AVolumeWithoutParametersIsNotReadWithAnotherDrivesSectorSize) {
    nt.drives[5] = FakeNtVolumes::Disk(100, 2048);
    nt.drives[6] = FakeNtVolumes::Disk(100);
    nt.drives[6].geometryOk = false;
    std::vector<std::uint8_t> buffer(2048);
    ASSERT_TRUE(ReadLogicalSectors(5, 0, 1, buffer.data()));
    nt.reads.clear();
    EXPECT_FALSE(ReadLogicalSectors(6, 0, 1, buffer.data()));
    EXPECT_TRUE(nt.reads.empty());
}

TEST_F(LdiskioNt, WriteIsOneCallStraightFromTheCallersBuffer) {
    nt.drives[5] = FakeNtVolumes::Disk(10000);
    std::vector<std::uint8_t> data(2500 * 512);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(WriteLogicalSectors(5, 10, 2500, data.data()));
    EXPECT_THAT(nt.writes, ElementsAre(1280000u));
    EXPECT_EQ(nt.lastWrite, data);
    EXPECT_EQ(nt.seeks.back().first, 10u * 512);
}

TEST_F(LdiskioNt, CdRomWithoutADiscReportsA700MiBDisc) {
    nt.drives[4] = FakeNtVolumes::Disk(100, 2048);
    nt.drives[4].driveType = DRIVE_CDROM;
    nt.drives[4].geometryOk = false;
    TLogDriveParams p;
    p.Cylinders = p.Heads = p.SectorsPerTrack = 77;
    EXPECT_FALSE(GetLogDriveParams(4, p));
    EXPECT_EQ(p.DriveType, 4);
    EXPECT_EQ(p.Removable, 1);
    EXPECT_EQ(p.BytesPerSector, 2048u);
    EXPECT_EQ(p.TotalSectors, 358400u);
    EXPECT_EQ(p.Cylinders, 0u);
    EXPECT_EQ(p.Heads, 0u);
    EXPECT_EQ(p.SectorsPerTrack, 0u);

    nt.drives[4].geometryOk = true;
    EXPECT_TRUE(GetLogDriveParams(4, p));
    EXPECT_EQ(p.TotalSectors, 100u);
    EXPECT_EQ(p.Cylinders, 0u);  // a CD reports sizes only
    EXPECT_THAT(nt.calls, ::testing::Contains("cd-geometry"));
}

TEST_F(LdiskioNt, ParametersFollowTheMediaType) {
    struct Case {
        std::uint32_t mediaType;
        std::uint16_t driveType;
        std::uint16_t removable;
    };
    const Case cases[] = {
        {0, 0, 0},   // unknown
        {11, 2, 1},  // removable media
        {12, 3, 0},  // fixed media
        {1, 1, 1},   // first floppy format
        {10, 1, 1},  {13, 1, 1},
        {22, 1, 1},  // last floppy format
        {23, 9, 0},  // beyond the table: the type stays as it was
        {99, 9, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mediaType);
        nt.drives[5] = FakeNtVolumes::Disk(0);
        // Only the low 32 bits fit the cylinder field; the sector count is held at its largest.
        nt.drives[5].geometry.cylinders = 0x1'0000'0010;
        nt.drives[5].geometry.tracksPerCylinder = 4;
        nt.drives[5].geometry.sectorsPerTrack = 8;
        nt.drives[5].geometry.bytesPerSector = 512;
        nt.drives[5].geometry.mediaType = c.mediaType;
        TLogDriveParams p;
        p.DriveType = 9;
        p.Removable = 1;
        ASSERT_TRUE(GetLogDriveParams(5, p));
        EXPECT_EQ(p.DriveType, c.driveType);
        EXPECT_EQ(p.Removable, c.removable);
        EXPECT_EQ(p.Cylinders, 0x10u);
        EXPECT_EQ(p.TotalSectors, 0xFFFFFFFFu);
        EXPECT_EQ(p.BytesPerSector, 512u);
    }
}

TEST_F(LdiskioNt, ParametersOfADriveThatCannotBeOpenedAreLeftAlone) {
    TLogDriveParams p;
    p.TotalSectors = 1234;
    EXPECT_FALSE(GetLogDriveParams(7, p));
    EXPECT_EQ(p.TotalSectors, 1234u);
}

TEST_F(LdiskioNt, ProgramEndClosesTheKeptHandle) {
    nt.drives[5] = FakeNtVolumes::Disk(100);
    std::vector<std::uint8_t> buffer(512);
    ASSERT_TRUE(ReadLogicalSectors(5, 0, 1, buffer.data()));
    const VolumeHandle kept = ldiskio::Inspect().hNTDrive;
    ldiskio::Shutdown();
    EXPECT_TRUE(nt.closed.count(kept));
    EXPECT_TRUE(nt.open.empty());
}

}  // namespace
}  // namespace quorvane
