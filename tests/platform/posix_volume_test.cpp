// Volumes read with open(2) and pread: bounded by their range inside the file, opened for
// writing only when asked, and block devices (loop devices, when running as root) answering
// their own geometry.
#include "image_fixtures.h"
#include "platform/drive_table.h"
#include "platform/posix_volume.h"
#include "platform/win9x_driver_api.h"
#include "support/page_aligned_allocator.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

using testing::TempDir;

std::vector<std::uint8_t> Pattern(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + i / 512);
    return bytes;
}

TEST(PosixVolume, ReadsAndWritesStayInsideTheVolumesRange) {
    TempDir dir;
    const std::string path = dir.file("disk.img");
    const auto bytes = Pattern(64 * 512);
    testing::WriteFileBytes(path, bytes);
    // Sectors 8..23 of the file are the volume.
    PosixVolumeOpener opener(path, 8 * 512, 16 * 512, DRIVE_REMOVABLE);
    int err = 0;
    auto file = opener.open(false, err);
    ASSERT_TRUE(file) << err;

    std::vector<std::uint8_t> buffer(1024, 0xEE);
    std::uint32_t got = 0;
    ASSERT_TRUE(file->readAt(15 * 512, buffer.data(), 1024, got));
    EXPECT_EQ(got, 512u);  // only the last sector is inside
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 512, bytes.begin() + 23 * 512));
    EXPECT_EQ(buffer[512], 0xEE);
    ASSERT_TRUE(file->readAt(16 * 512, buffer.data(), 512, got));
    EXPECT_EQ(got, 0u);

    DiskGeometry g;
    ASSERT_TRUE(file->geometry(g));
    EXPECT_EQ(g.bytesPerSector, 512u);
    EXPECT_EQ(g.cylinders * g.tracksPerCylinder * g.sectorsPerTrack, 16);
    EXPECT_EQ(g.mediaType, 11u);

    auto writer = opener.open(true, err);
    ASSERT_TRUE(writer) << err;
    const std::vector<std::uint8_t> ones(1024, 0x11);
    std::uint32_t put = 0;
    ASSERT_TRUE(writer->writeAt(15 * 512, ones.data(), 1024, put));
    EXPECT_EQ(put, 512u);
    const auto after = testing::ReadFileBytes(path);
    EXPECT_EQ(after[23 * 512], 0x11);
    EXPECT_EQ(after[24 * 512], bytes[24 * 512]);  // the sector after the volume is untouched
    EXPECT_EQ(after.size(), bytes.size());
}

TEST(PosixVolume, AReadOnlyImageReadsFine) {
    TempDir dir;
    const std::string path = dir.file("card.img");
    const auto bytes = Pattern(32 * 512);
    testing::WriteFileBytes(path, bytes);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    PosixVolumeOpener opener(path, 0, 0, DRIVE_REMOVABLE);
    int err = 0;
    auto file = opener.open(false, err);
    ASSERT_TRUE(file) << err;
    std::vector<std::uint8_t> buffer(bytes.size());
    std::uint32_t got = 0;
    ASSERT_TRUE(file->readAt(0, buffer.data(), static_cast<std::uint32_t>(buffer.size()), got));
    EXPECT_EQ(buffer, bytes);
    if (::geteuid() != 0) {  // root may write anything
        EXPECT_FALSE(opener.open(true, err));
        EXPECT_EQ(err, EACCES);
    }
}

TEST(PosixVolume, AReadOnlyLoopDeviceReadsAndRefusesWriting) {
    TempDir dir;
    const std::string path = dir.file("card.img");
    const auto bytes = Pattern(2048 * 512);
    testing::WriteFileBytes(path, bytes);
    testing::LoopDevice loop(path, "-r");
    if (loop.device().empty()) GTEST_SKIP() << "needs root and a free loop device";

    PosixVolumeOpener opener(loop.device(), 0, 0, DRIVE_FIXED);
    int err = 0;
    auto file = opener.open(false, err);
    ASSERT_TRUE(file) << err;
    std::vector<std::uint8_t> buffer(bytes.size());
    std::uint32_t got = 0;
    ASSERT_TRUE(file->readAt(0, buffer.data(), static_cast<std::uint32_t>(buffer.size()), got));
    EXPECT_EQ(got, bytes.size());
    EXPECT_EQ(buffer, bytes);
    ASSERT_TRUE(file->readAt(bytes.size() - 512, buffer.data(), 4096, got));
    EXPECT_EQ(got, 512u);  // never past the device's end

    DiskGeometry g;
    ASSERT_TRUE(file->geometry(g));
    EXPECT_EQ(g.bytesPerSector, 512u);
    EXPECT_EQ(g.cylinders * g.tracksPerCylinder * g.sectorsPerTrack, 2048);
    EXPECT_EQ(g.mediaType, 12u);

    EXPECT_FALSE(opener.open(true, err));
    EXPECT_EQ(err, EROFS);
}

// Large aligned reads of a device bypass the page cache, the others go through it: both give the
// device's bytes, for a volume at the device's start and one inside it, up to the volume's end.
TEST(PosixVolume, LargeAlignedAndOtherReadsOfADeviceGiveTheSameBytes) {
    TempDir dir;
    const std::string path = dir.file("card.img");
    const auto bytes = Pattern(8192 * 512);
    testing::WriteFileBytes(path, bytes);
    testing::LoopDevice loop(path, "-r");
    if (loop.device().empty()) GTEST_SKIP() << "needs root and a free loop device";
    std::vector<std::uint8_t, PageAlignedAllocator<std::uint8_t>> aligned(2048000 + 4096);
    struct Case {
        const char* name;
        std::uint64_t volumeOffset, volumeSize;  // of the opener, in bytes
        std::uint64_t at;                        // the read, inside the volume
        std::uint32_t n;
        std::size_t bufferOffset;  // from a page boundary
        std::uint32_t got;         // what arrives
    };
    const Case cases[] = {
        {"a large read at the start", 0, 0, 0, 2048000, 0, 2048000},
        {"a large read inside a partition", 1001 * 512, 6000 * 512, 512 * 512, 1024000, 0, 1024000},
        {"a large read from an unaligned buffer", 0, 0, 4096, 512000, 512, 512000},
        {"a large read over the volume's end", 1001 * 512, 1000 * 512, 500 * 512, 512000, 0, 500 * 512},
        {"one sector", 512, 0, 3 * 512, 512, 0, 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PosixVolumeOpener opener(loop.device(), c.volumeOffset, c.volumeSize, DRIVE_REMOVABLE);
        int err = 0;
        auto file = opener.open(false, err);
        ASSERT_TRUE(file) << err;
        std::fill(aligned.begin(), aligned.end(), 0xEE);
        std::uint32_t got = 0;
        ASSERT_TRUE(file->readAt(c.at, aligned.data() + c.bufferOffset, c.n, got));
        ASSERT_EQ(got, c.got);
        const auto from = bytes.begin() + static_cast<std::ptrdiff_t>(c.volumeOffset + c.at);
        EXPECT_TRUE(std::equal(from, from + got, aligned.begin() + static_cast<std::ptrdiff_t>(c.bufferOffset)));
    }
}

TEST(PosixVolume, AFourKilobyteSectorDeviceReportsItsSectorSize) {
    TempDir dir;
    const std::string path = dir.file("card.img");
    testing::WriteFileBytes(path, Pattern(1024 * 4096));
    testing::LoopDevice loop(path, "-b 4096");
    if (loop.device().empty()) GTEST_SKIP() << "needs root and a free loop device";
    PosixVolumeOpener opener(loop.device(), 0, 0, DRIVE_REMOVABLE);
    int err = 0;
    auto file = opener.open(false, err);
    ASSERT_TRUE(file) << err;
    DiskGeometry g;
    ASSERT_TRUE(file->geometry(g));
    EXPECT_EQ(g.bytesPerSector, 4096u);
    EXPECT_EQ(g.cylinders * g.tracksPerCylinder * g.sectorsPerTrack, 1024);
    EXPECT_EQ(g.mediaType, 11u);
}

TEST(DosAddressSpace, LentBuffersResolveOnlyInsideTheirRange) {
    std::vector<std::uint8_t> buffer(4096);
    const LentBuffer lent(buffer.data(), buffer.size());
    const std::uint32_t base = lent.address();
    ASSERT_NE(base, 0u);
    auto& space = DosAddressSpace::instance();
    EXPECT_EQ(space.resolve(base, 4096), buffer.data());
    EXPECT_EQ(space.resolve(base + 2048, 2048), buffer.data() + 2048);
    EXPECT_EQ(space.resolve(base + 2048, 2049), nullptr);
    EXPECT_EQ(space.resolve(base + 4096, 1), nullptr);
    EXPECT_EQ(space.resolve(0, 1), nullptr);
    {
        const LentBuffer other(buffer.data(), 16);
        EXPECT_NE(other.address(), base);
        EXPECT_EQ(space.resolve(other.address(), 17), nullptr);
    }
    space.release(base);
    EXPECT_EQ(space.resolve(base, 1), nullptr);
}

}  // namespace
}  // namespace quorvane
