#pragma once
// Stand-ins for the platform's version functions. They read the version resource of
// - a Windows PE file (the RT_VERSION entry of its resource directory), or
// - an ELF file of ours (the section ".quorvane.version", which the build fills with the same
//   published block),
// and answer queries on it the way the platform does: text values come back as zero-terminated
// 8-bit text, which on Linux is UTF-8.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorvane {

inline constexpr const char* ElfVersionSectionName = ".quorvane.version";

// Size of the buffer that GetFileVersionInfoA needs for the file's resource; 0 when the file
// cannot be read or has no well-formed version resource. *lpdwHandle (when given) is set to 0.
std::uint32_t GetFileVersionInfoSizeA(const char* lptstrFilename, std::uint32_t* lpdwHandle);

// Reads the resource into lpData, which must hold the size that GetFileVersionInfoSizeA gave.
bool GetFileVersionInfoA(const char* lptstrFilename, std::uint32_t dwHandle, std::uint32_t dwLen, void* lpData);

// Looks up lpSubBlock in a buffer filled by GetFileVersionInfoA:
//   "\"                                      the fixed file information (binary, 52 bytes),
//   "\VarFileInfo\Translation"               the language and code page pairs (binary),
//   "\StringFileInfo\040904E4\CompanyName"   a text value.
// Keys are compared without regard to case. On success *lplpBuffer points into pBlock and
// *puLen is the size in bytes: of the value for binary values, of the text with its zero for
// text values. A text value is converted into the spare half of the buffer on first use, which is
// why the block is written to.
bool VerQueryValueA(void* pBlock, const char* lpSubBlock, const void** lplpBuffer, std::uint32_t* puLen);

// The raw block of a file, trimmed to its own wLength; nullopt when there is none.
std::optional<std::vector<std::uint8_t>> ReadVersionResource(const std::string& fileName);

// The buffer layout behind GetFileVersionInfoA, for callers that hold a raw block already:
// the block, then room for the 8-bit copies of its texts.
std::size_t VersionInfoBufferSize(std::size_t rawLength);
std::vector<std::uint8_t> MakeVersionInfoBuffer(std::span<const std::uint8_t> raw);

}  // namespace quorvane
