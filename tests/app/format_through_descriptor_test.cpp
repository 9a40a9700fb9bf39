// Formatting through a descriptor, as a card opened by udisks2 is formatted: the volume gets the
// file system mkfs.fat makes, and the sectors it does not write keep their bytes.
#include "app/format_through_descriptor.h"
#include "platform/image_fixtures.h"
#include "support/file_descriptor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <vector>

namespace quorvane::testing {
namespace {

std::string Blkid(const std::string& path, const char* tag) {
    FILE* p = ::popen(("blkid -o value -s " + std::string(tag) + " '" + path + "'").c_str(), "r");
    if (p == nullptr) return {};
    char line[128] = {};
    const bool got = std::fgets(line, sizeof line, p) != nullptr;
    ::pclose(p);
    std::string value = got ? line : "";
    while (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
}

TEST(FormatThroughDescriptor, TheCardGetsTheFileSystemAndKeepsWhatMkfsLeaves) {
    const struct {
        const char* fileSystem;
        std::uint64_t bytes;
        std::string version;
    } cases[] = {{"FAT16", 32u << 20, "FAT16"}, {"FAT32", 64u << 20, "FAT32"}, {"", 4u << 20, "FAT12"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        TempDir dir;
        const std::string card = dir.file("card.img");
        {
            // An old card full of 0x5A bytes.
            std::ofstream out(card, std::ios::binary);
            const std::string mib(1 << 20, '\x5A');
            for (std::uint64_t i = 0; i < (c.bytes >> 20); ++i) out << mib;
        }
        const FileDescriptor fd(::open(card.c_str(), O_RDWR | O_CLOEXEC));
        ASSERT_TRUE(fd.valid());
        TFormatOptions options;
        options.FileSystem = c.fileSystem;
        options.VolumeLabel = "Holiday";
        const TToolResult r = FormatThroughDescriptor(fd.get(), c.bytes, options, 2048);
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        EXPECT_EQ(RunTool("fsck.fat -n '" + card + "'"), 0);
        EXPECT_EQ(Blkid(card, "LABEL"), "HOLIDAY");
        const auto bytes = ReadFileBytes(card);
        ASSERT_EQ(bytes.size(), c.bytes);
        // The boot sector's file system type: at 0x52 for FAT32, at 0x36 for FAT12 and FAT16.
        const std::size_t type = c.version == "FAT32" ? 0x52 : 0x36;
        EXPECT_EQ(std::string(bytes.begin() + type, bytes.begin() + type + 5), c.version);
        EXPECT_EQ(bytes.back(), 0x5A) << "the data area is not written";
        // The hidden sectors of a partition that starts at sector 2048.
        EXPECT_EQ(bytes[0x1C] | bytes[0x1D] << 8 | bytes[0x1E] << 16 | bytes[0x1F] << 24, 2048);
    }
}

}  // namespace
}  // namespace quorvane::testing
