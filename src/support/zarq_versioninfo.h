#pragma once
// Reads the version resource of an executable into a list of "name=value" lines: the product
// version, target system and file type of its fixed information, then the texts of its
// US-English (0409, code page 1252) string table. The About box and `quorvane-cli version`
// show the "Product Version" line and the legal notice of the program's own file.
#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

class TZarq_VersionInfo {
public:
    TZarq_VersionInfo() = default;
    ~TZarq_VersionInfo();
    TZarq_VersionInfo(const TZarq_VersionInfo&) = delete;
    TZarq_VersionInfo& operator=(const TZarq_VersionInfo&) = delete;

    // Remembers FileName and, when it is not empty, reads its resource. Reading a second file
    // appends its lines to the list.
    void OpenVersionFile(const std::string& fileName);
    void Read_VersionInfo();
    // Appends the lines of a buffer laid out by GetFileVersionInfoA (it is written to while
    // its texts are looked up).
    void Decode_VersionInfo(void* block);

    // The value of the first line named name (compared without regard to case); "" when none.
    std::string Value(const std::string& name) const;

    std::string FileName;
    std::vector<std::string> Values;  // "name=value"
    std::string LegalNotice;          // the LegalCopyright text, "" when there is none
};

// The text of a fixed-information operating system or file type value.
std::string OperatingSystemText(std::uint32_t fileOS);
std::string FileTypeText(std::uint32_t fileType);

// The path of the running program (/proc/self/exe resolved); "" when it cannot be found.
std::string OwnExecutablePath();

}  // namespace quorvane
