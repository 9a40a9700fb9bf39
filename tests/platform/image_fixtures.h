#pragma once
// Test images made by the real tools (mkfs.fat, sfdisk) in a private temporary folder, and loop
// devices over them where the test runs as root.
#include "platform/drive_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorvane::testing {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvane-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Runs a shell command with a fixed clock, so the tools write the same bytes every time.
inline int RunTool(const std::string& command) {
    const std::string full = "SOURCE_DATE_EPOCH=1700000000 MTOOLS_SKIP_CHECK=1 " + command + " >/dev/null 2>&1";
    return std::system(full.c_str());
}

// A FAT image of sizeKiB KiB, one sector per cluster.
inline std::string MakeFatImage(const TempDir& dir, const std::string& name, int fatBits, int sizeKiB,
                                const std::string& label) {
    const std::string path = dir.file(name);
    const std::string cmd = "mkfs.fat -C --invariant -F " + std::to_string(fatBits) + " -s 1 -n " + label + " '" +
                            path + "' " + std::to_string(sizeKiB);
    if (RunTool(cmd) != 0) ADD_FAILURE() << "failed: " << cmd;
    return path;
}

// A 50 MiB image with an MBR: partition 1 (sectors 2048..18431) holds FAT16 "CARDA",
// partition 2 (from sector 18432 to the end) FAT32 "CARDB".
inline constexpr std::uint64_t PART1_START = 2048, PART1_SECTORS = 16384;
inline constexpr std::uint64_t PART2_START = 18432, PART2_SECTORS = 50 * 2048 - 18432;
inline std::string MakePartitionedImage(const TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name);
    const bool ok =
        RunTool("truncate -s 50M '" + path + "'") == 0 &&
        RunTool("printf 'label: dos\\nstart=2048, size=16384, type=e\\nstart=18432, type=c\\n' | sfdisk -q '" + path +
                "'") == 0 &&
        RunTool("mkfs.fat --invariant -F 16 -s 1 -n CARDA --offset 2048 '" + path + "' 8192") == 0 &&
        RunTool("mkfs.fat --invariant -F 32 -s 1 -n CARDB --offset 18432 '" + path + "' " +
                std::to_string(PART2_SECTORS / 2)) == 0;
    if (!ok) ADD_FAILURE() << "could not build the partitioned image";
    return path;
}

// A 40 MiB image with a GPT: partition 1 (sectors 2048..18431, type Linux filesystem) holds
// ext2 "LINUX", partition 2 (sectors 18432..59391, type Microsoft basic data) FAT16 "GPTCARD".
inline constexpr std::uint64_t GPT1_START = 2048, GPT1_SECTORS = 16384;
inline constexpr std::uint64_t GPT2_START = 18432, GPT2_SECTORS = 40960;
inline std::string MakeGptImage(const TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name);
    const bool ok =
        RunTool("truncate -s 40M '" + path + "'") == 0 &&
        RunTool("printf 'label: gpt\\nstart=2048, size=16384, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4\\n"
                "start=18432, size=40960, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\\n' | sfdisk -q '" + path + "'") == 0 &&
        RunTool("mkfs.ext2 -q -F -L LINUX -E offset=1048576 '" + path + "' 8M") == 0 &&
        RunTool("mkfs.fat --invariant -F 16 -s 1 -n GPTCARD --offset 18432 '" + path + "' 20480") == 0;
    if (!ok) ADD_FAILURE() << "could not build the GPT image";
    return path;
}

inline std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A loop device over an image, detached again by the object that attached it. Empty path when
// the test does not run as root or the kernel offers no loop device.
class LoopDevice {
public:
    LoopDevice(const std::string& image, const std::string& options) {
        if (::geteuid() != 0) return;
        const std::string cmd = "losetup -f --show " + options + " '" + image + "' 2>/dev/null";
        FILE* p = ::popen(cmd.c_str(), "r");
        if (p == nullptr) return;
        char line[256] = {};
        if (std::fgets(line, sizeof line, p) != nullptr) {
            device_ = line;
            while (!device_.empty() && (device_.back() == '\n' || device_.back() == ' ')) device_.pop_back();
        }
        if (::pclose(p) != 0) device_.clear();
    }
    ~LoopDevice() {
        if (!device_.empty()) RunTool("losetup -d " + device_);
    }
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;
    const std::string& device() const { return device_; }

private:
    std::string device_;
};

// A drive table that sees no block devices, only the paths a test adds; emptied around each test.
class EmptyDriveTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.file("sys"));
        DriveTable::instance().setSysfsRoot(dir.file("sys"));
        DriveTable::instance().clear();
    }
    void TearDown() override { DriveTable::instance().clear(); }

    TempDir dir;
};

}  // namespace quorvane::testing
