// Copies of a byte range from one file into another, by the kernel or by reads and writes: the
// same bytes land at the same place either way, and a source that ends early is an error that
// says how far the copy got.
#include "image_fixtures.h"
#include "platform/file_copy.h"
#include "platform/image_source.h"
#include "support/file_descriptor.h"

#include <gtest/gtest.h>

#include <fcntl.h>

namespace quorvane {
namespace {

using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

Bytes Pattern(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 4093);
    return bytes;
}

TEST(CopyFileBytes, EachPathCopiesTheRangeToItsPlaceAndStopsWhereTheSourceEnds) {
    TempDir dir;
    const Bytes source = Pattern(3 * 1024 * 1024 + 123);
    testing::WriteFileBytes(dir.file("source"), source);
    struct Case {
        const char* name;
        std::uint64_t from, to, n;
        int error;             // what the copy answers
        std::uint64_t copied;  // and how far it got
    };
    const Case cases[] = {
        {"the whole file", 0, 0, source.size(), 0, source.size()},
        {"an unaligned range to an unaligned place", 4097, 511, 2 * 1024 * 1024 + 1, 0, 2 * 1024 * 1024 + 1},
        {"past the source's end", source.size() - 1000, 0, 5000, EIO, 1000},
    };
    for (bool kernel : {true, false}) {
        AllowKernelCopy(kernel);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (kernel ? ", kernel" : ", read and write"));
            const FileDescriptor in(::open(dir.file("source").c_str(), O_RDONLY));
            const std::string target = dir.file("target");
            const FileDescriptor out(::open(target.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644));
            ASSERT_TRUE(in && out);
            const CopyPathBytes before = CopiedBytesByPath();
            std::uint64_t copied = 0;
            EXPECT_EQ(CopyFileBytes(in.get(), c.from, out.get(), c.to, c.n, copied), c.error);
            EXPECT_EQ(copied, c.copied);
            const CopyPathBytes after = CopiedBytesByPath();
            EXPECT_EQ(kernel ? after.kernel - before.kernel : after.readWrite - before.readWrite, c.copied);
            Bytes expected(c.to, 0);
            expected.insert(expected.end(), source.begin() + static_cast<std::ptrdiff_t>(c.from),
                            source.begin() + static_cast<std::ptrdiff_t>(c.from + c.copied));
            EXPECT_EQ(testing::ReadFileBytes(target), expected);
        }
    }
    AllowKernelCopy(true);
}

using ImageSourceTest = testing::EmptyDriveTableTest;

TEST_F(ImageSourceTest, OnlyAnImageFileIsASourceAndItsRangesStayInsideTheVolume) {
    const std::string path = testing::MakePartitionedImage(dir, "disk.img");
    std::string error;
    const auto drives = DriveTable::instance().addPath(path, error);
    ASSERT_EQ(drives.size(), 3u) << error;
    const auto partition = OpenImageSource(drives[1]);
    ASSERT_TRUE(partition);
    const std::uint64_t bytes = testing::PART1_SECTORS * 512;
    EXPECT_TRUE(partition->Holds(bytes - 512, 512));
    EXPECT_FALSE(partition->Holds(bytes - 512, 513));
    EXPECT_FALSE(partition->Holds(bytes + 1, 0));

    // The partition's first sector (its boot sector) lands in the target, not the image's.
    const std::string target = dir.file("boot");
    const FileDescriptor out(::open(target.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644));
    ASSERT_EQ(partition->CopyTo(out.get(), 0, 0, 512), 0);
    const Bytes image = testing::ReadFileBytes(path);
    EXPECT_EQ(testing::ReadFileBytes(target),
              Bytes(image.begin() + testing::PART1_START * 512, image.begin() + (testing::PART1_START + 1) * 512));
    EXPECT_EQ(partition->CopyTo(out.get(), 0, bytes, 1), EINVAL);

    EXPECT_FALSE(OpenImageSource(0));
    testing::LoopDevice loop(path, "-r");
    if (!loop.device().empty()) {
        const auto device = DriveTable::instance().addPath(loop.device(), error);
        ASSERT_FALSE(device.empty()) << error;
        EXPECT_FALSE(OpenImageSource(device.front())) << "a block device is read, not copied from";
    }
}

}  // namespace
}  // namespace quorvane
