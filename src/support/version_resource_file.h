#pragma once
// Locating the version resource inside executable files: the readers behind
// ReadVersionResource. Every offset and count read from the file is checked against the file's
// size before it is used.
#include "support/file_descriptor.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::version_file {

// A file read by position; reads past the end fail instead of coming back short.
class PositionalFile {
public:
    explicit PositionalFile(const std::string& path);

    bool IsOpen() const { return fd_.valid(); }
    std::uint64_t Size() const { return size_; }
    // The count bytes at offset, or nullopt when any of them lies outside the file.
    std::optional<std::vector<std::uint8_t>> Read(std::uint64_t offset, std::uint64_t count) const;

private:
    FileDescriptor fd_;
    std::uint64_t size_ = 0;
};

// The contents of the ELF section ElfVersionSectionName (32- or 64-bit, either byte order).
std::optional<std::vector<std::uint8_t>> ReadElfVersionSection(const PositionalFile& file);

// The data of the first RT_VERSION resource of a PE file (PE32 or PE32+).
std::optional<std::vector<std::uint8_t>> ReadPeVersionResource(const PositionalFile& file);

}  // namespace quorvane::version_file
