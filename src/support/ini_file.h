#pragma once
// A read-only INI file as the platform's profile functions read one: "[section]" lines,
// "key=value" lines, ';' comments; section and key names are compared without regard to case,
// the first occurrence wins, blanks around names and values are dropped and a value enclosed in
// a pair of double quotes loses them.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace quorvane {

class TIniFile {
public:
    // Files larger than this are read only this far: a control file is a few hundred bytes.
    static constexpr std::size_t MaxBytes = 4 * 1024 * 1024;

    TIniFile() = default;
    // Reads the file now; a file that cannot be read reads as an empty one.
    explicit TIniFile(const std::string& fileName);
    static TIniFile FromText(std::string_view text);

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key, const std::string& defaultValue) const;
    // Decimal, or hexadecimal after "0x" or "$"; anything else gives defaultValue.
    std::int64_t ReadInteger(std::string_view section, std::string_view key, std::int64_t defaultValue) const;

private:
    void parse(std::string_view text);
    // Names in lower case; a value's key is its section's name, a line break, its own name.
    static std::string lowered(std::string_view name);
    static std::string valueKey(std::string_view section, std::string_view key);

    // Looked up by name, so a large control file costs its size to read, not its size squared.
    std::unordered_set<std::string> sections_;
    std::unordered_map<std::string, std::string> values_;
};

}  // namespace quorvane
