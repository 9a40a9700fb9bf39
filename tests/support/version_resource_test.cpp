#include "support/version_resource.h"

#include "support/version_block_builder.h"
#include "support/version_test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace quorvane {
namespace {

using testing::ElfLayout;
using testing::ScratchFolder;

constexpr VersionString acmeStrings[] = {
    {"CompanyName", "Acme Ltd"},
    {"LegalCopyright", "Copyright \xC2\xA9 2004 Acme"},
    {"Comments", "Clef \xF0\x9D\x84\x9E and \xE2\x82\xAC"},  // outside the BMP, and a 3-byte character
    {"ProductVersion", "2.1.0.5"},
};
constexpr VersionStringTable acmeTables[] = {{0x0409, 0x04E4, acmeStrings}};

VersionBlockSpec acmeSpec() { return {testing::FixedVersion(2, 1, 0, 5), acmeTables, true}; }

struct Query {
    bool ok = false;
    std::string text;
    std::vector<std::uint8_t> bytes;
};

Query query(std::vector<std::uint8_t>& buffer, const char* path) {
    const void* value = nullptr;
    std::uint32_t length = 0;
    Query q;
    q.ok = VerQueryValueA(buffer.data(), path, &value, &length);
    if (q.ok) {
        const auto* p = static_cast<const std::uint8_t*>(value);
        q.bytes.assign(p, p + length);
        q.text = std::string(static_cast<const char*>(value), strnlen(static_cast<const char*>(value), length));
    }
    return q;
}

TEST(ReadVersionResource, FindsTheBlockInEveryElfClassAndByteOrder) {
    ScratchFolder dir;
    const auto block = BuildVersionBlock(acmeSpec());
    const ElfLayout layouts[] = {{true, false}, {true, true}, {false, false}, {false, true}};
    for (const ElfLayout& layout : layouts) {
        SCOPED_TRACE(std::string(layout.is64 ? "ELF64 " : "ELF32 ") + (layout.bigEndian ? "big-endian" : "little-endian"));
        const std::string path = dir / "prog";
        testing::WriteVersionedElf(path, acmeSpec(), layout);
        const auto raw = ReadVersionResource(path);
        ASSERT_TRUE(raw.has_value());
        EXPECT_EQ(*raw, block);
    }
}

TEST(ReadVersionResource, RefusesFilesWithoutAWellFormedBlock) {
    ScratchFolder dir;
    auto block = BuildVersionBlock(acmeSpec());
    auto longerThanData = block;
    longerThanData[0] = 0xFF;  // wLength past the end of the section
    longerThanData[1] = 0x7F;
    auto keyWithoutZero = BuildVersionBlock({std::nullopt, {}, false});
    keyWithoutZero.resize(6 + 2 * 15);  // "VS_VERSION_INFO" without its terminating zero
    keyWithoutZero[0] = static_cast<std::uint8_t>(keyWithoutZero.size());
    const auto elf = testing::ElfWriter({}).Build(ElfVersionSectionName, block);
    std::vector<std::uint8_t> truncatedElf(elf.begin(), elf.begin() + 100);

    struct Case {
        const char* name;
        std::vector<std::uint8_t> file;
    };
    const Case cases[] = {
        {"empty file", {}},
        {"text file", {'h', 'e', 'l', 'l', 'o', '\n'}},
        {"ELF without the section", testing::ElfWriter({}).Build(".data", block)},
        {"ELF whose section table lies past the end", truncatedElf},
        {"block longer than its section", testing::ElfWriter({}).Build(ElfVersionSectionName, longerThanData)},
        {"key without its zero", testing::ElfWriter({}).Build(ElfVersionSectionName, keyWithoutZero)},
        {"MZ header only", {'M', 'Z', 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / "file";
        testing::WriteBytes(path, c.file);
        EXPECT_FALSE(ReadVersionResource(path).has_value());
        std::uint32_t handle = 7;
        EXPECT_EQ(GetFileVersionInfoSizeA(path.c_str(), &handle), 0u);
        EXPECT_EQ(handle, 0u);
    }
    EXPECT_EQ(GetFileVersionInfoSizeA((dir / "missing").c_str(), nullptr), 0u);
    EXPECT_EQ(GetFileVersionInfoSizeA(dir.Path().c_str(), nullptr), 0u) << "a folder is not a file";
}

TEST(ReadVersionResource, TrimsPaddingBehindTheBlock) {
    ScratchFolder dir;
    auto block = BuildVersionBlock(acmeSpec());
    auto padded = block;
    padded.resize(padded.size() + 13, 0xCC);
    testing::WriteBytes(dir / "prog", testing::ElfWriter({}).Build(ElfVersionSectionName, padded));
    const auto raw = ReadVersionResource(dir / "prog");
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ(*raw, block);
}

TEST(VerQueryValueA, AnswersFixedInformationTranslationAndTexts) {
    ScratchFolder dir;
    testing::WriteVersionedElf(dir / "prog", acmeSpec());
    const std::string path = dir / "prog";
    std::uint32_t handle = 0;
    const std::uint32_t size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<std::uint8_t> buffer(size);
    EXPECT_FALSE(GetFileVersionInfoA(path.c_str(), handle, size - 1, buffer.data())) << "buffer too small";
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), handle, size, buffer.data()));

    const Query fixed = query(buffer, "\\");
    ASSERT_TRUE(fixed.ok);
    ASSERT_EQ(fixed.bytes.size(), VsFixedFileInfoSize);
    const auto info = DecodeFixedFileInfo(fixed.bytes);
    EXPECT_EQ(info->dwSignature, VsFixedFileInfoSignature);
    EXPECT_EQ(info->dwProductVersionMS, 0x00020001u);
    EXPECT_EQ(info->dwProductVersionLS, 0x00000005u);

    const Query translation = query(buffer, "\\VarFileInfo\\Translation");
    ASSERT_TRUE(translation.ok);
    EXPECT_EQ(translation.bytes, (std::vector<std::uint8_t>{0x09, 0x04, 0xE4, 0x04}));

    struct TextCase {
        const char* path;
        bool found;
        const char* text;
    };
    const TextCase texts[] = {
        {"\\StringFileInfo\\040904E4\\CompanyName", true, "Acme Ltd"},
        {"\\stringfileinfo\\040904e4\\companyname", true, "Acme Ltd"},
        {"\\StringFileInfo\\040904E4\\LegalCopyright", true, "Copyright \xC2\xA9 2004 Acme"},
        {"\\StringFileInfo\\040904E4\\Comments", true, "Clef \xF0\x9D\x84\x9E and \xE2\x82\xAC"},
        {"\\StringFileInfo\\040904E4\\ProductName", false, ""},
        {"\\StringFileInfo\\040704E4\\CompanyName", false, ""},
        {"\\StringFileInfo\\040904E4\\CompanyNam", false, ""},
    };
    for (const TextCase& t : texts) {
        SCOPED_TRACE(t.path);
        const Query q = query(buffer, t.path);
        EXPECT_EQ(q.ok, t.found);
        EXPECT_EQ(q.text, t.text);
        if (q.ok) {
            EXPECT_EQ(q.bytes.size(), std::strlen(t.text) + 1) << "the length counts the zero";
        }
    }
    // Earlier answers stay valid while later texts are converted.
    const void* first = nullptr;
    std::uint32_t length = 0;
    ASSERT_TRUE(VerQueryValueA(buffer.data(), "\\StringFileInfo\\040904E4\\CompanyName", &first, &length));
    query(buffer, "\\StringFileInfo\\040904E4\\LegalCopyright");
    query(buffer, "\\StringFileInfo\\040904E4\\Comments");
    EXPECT_STREQ(static_cast<const char*>(first), "Acme Ltd");
}

// Damaged blocks: every single-byte change of a valid block is queried in full without
// reading or writing outside the buffer (run under the sanitizers to see a fault).
TEST(VerQueryValueA, SurvivesEveryByteOfTheBlockBeingDamaged) {
    const auto block = BuildVersionBlock(acmeSpec());
    const char* paths[] = {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904E4\\CompanyName",
                           "\\StringFileInfo\\040904E4\\Comments", "\\StringFileInfo\\040904E4\\ProductVersion"};
    for (std::size_t at = 0; at < block.size(); ++at) {
        for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0x07}}) {
            auto damaged = block;
            damaged[at] = value;
            const std::size_t rawLength = damaged[0] | (damaged[1] << 8);
            if (rawLength < 6 || rawLength > damaged.size()) continue;  // ReadVersionResource refuses these
            damaged.resize(rawLength);
            auto buffer = MakeVersionInfoBuffer(damaged);
            const std::size_t size = buffer.size();
            buffer.resize(size + 64, 0xAB);  // a guard zone behind the buffer
            for (const char* path : paths) query(buffer, path);
            for (std::size_t i = size; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xAB) << "byte " << at;
        }
    }
}

// PE files made by a real resource compiler and linker, when the cross tools are installed.
class PeVersionResource : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v x86_64-w64-mingw32-windres >/dev/null 2>&1 && "
                        "command -v x86_64-w64-mingw32-ld >/dev/null 2>&1 && command -v cpp >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "binutils-mingw-w64-x86-64 is not installed";
    }

    // Compiles rc into a PE32+ file; with pe32 also converts it to a PE32 file.
    std::string makePe(const std::string& rc, bool pe32) {
        const std::string rcPath = dir / "v.rc";
        std::ofstream(rcPath) << rc;
        const std::string exe = dir / (pe32 ? "v32.exe" : "v.exe");
        std::string cmd = "cd '" + dir.Path() +
                          "' && x86_64-w64-mingw32-windres --preprocessor=cpp --preprocessor-arg=-xc -i v.rc -o v.o"
                          " && x86_64-w64-mingw32-ld -e 0 -o v.exe v.o 2>/dev/null";
        if (pe32) cmd += " && x86_64-w64-mingw32-objcopy -O pei-i386 v.exe v32.exe";
        if (std::system(cmd.c_str()) != 0) return {};
        return exe;
    }

    ScratchFolder dir;
};

const char* const acmeRc = R"(1 VERSIONINFO
FILEVERSION 1,2,3,4
PRODUCTVERSION 2,1,0,5
FILEOS 0x40004
FILETYPE 0x1
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904E4"
    BEGIN
      VALUE "CompanyName", "Acme Ltd\0"
      VALUE "LegalCopyright", "Copyright \251 2004 Acme\0"
      VALUE "ProductVersion", "2.1.0.5\0"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1252
  END
END
)";

TEST_F(PeVersionResource, ReadsTheResourceOfPe32AndPe32PlusFiles) {
    for (bool pe32 : {false, true}) {
        SCOPED_TRACE(pe32 ? "PE32" : "PE32+");
        const std::string exe = makePe(acmeRc, pe32);
        ASSERT_FALSE(exe.empty()) << "the resource compiler failed";
        const std::uint32_t size = GetFileVersionInfoSizeA(exe.c_str(), nullptr);
        ASSERT_GT(size, 0u);
        std::vector<std::uint8_t> buffer(size);
        ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, buffer.data()));
        const auto fixed = DecodeFixedFileInfo(query(buffer, "\\").bytes);
        ASSERT_TRUE(fixed.has_value());
        EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
        EXPECT_EQ(fixed->dwFileVersionLS, 0x00030004u);
        EXPECT_EQ(fixed->dwFileOS, 0x40004u);
        EXPECT_EQ(query(buffer, "\\StringFileInfo\\040904E4\\CompanyName").text, "Acme Ltd");
        EXPECT_EQ(query(buffer, "\\StringFileInfo\\040904E4\\LegalCopyright").text, "Copyright \xC2\xA9 2004 Acme");
    }
}

TEST_F(PeVersionResource, APeFileWithoutVersionResourceHasNone) {
    const std::string exe = makePe("1 RCDATA { \"just data\" }\n", false);
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(GetFileVersionInfoSizeA(exe.c_str(), nullptr), 0u);
}

}  // namespace
}  // namespace quorvane
