#include "support/ini_file.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>

namespace quorvane {
namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

}  // namespace

TIniFile::TIniFile(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    if (!file) return;
    std::string text(MaxBytes, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    parse(text);
}

TIniFile TIniFile::FromText(std::string_view text) {
    TIniFile ini;
    ini.parse(text);
    return ini;
}

void TIniFile::parse(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::string section;
    bool inSection = false;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view line = trim(text.substr(0, eol));
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            section = std::string(trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1)));
            sections_.insert(lowered(section));
            inSection = true;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inSection || eq == std::string_view::npos) continue;
        std::string_view value = trim(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        values_.emplace(valueKey(section, trim(line.substr(0, eq))), std::string(value));  // the first one wins
    }
}

std::string TIniFile::lowered(std::string_view name) {
    std::string out(name);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string TIniFile::valueKey(std::string_view section, std::string_view key) {
    return lowered(section) + '\n' + lowered(key);
}

bool TIniFile::SectionExists(std::string_view section) const { return sections_.count(lowered(section)) != 0; }

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
    return values_.count(valueKey(section, key)) != 0;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, const std::string& defaultValue) const {
    const auto it = values_.find(valueKey(section, key));
    return it != values_.end() ? it->second : defaultValue;
}

std::int64_t TIniFile::ReadInteger(std::string_view section, std::string_view key, std::int64_t defaultValue) const {
    const auto it = values_.find(valueKey(section, key));
    if (it == values_.end()) return defaultValue;
    std::string_view s = it->second;
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.starts_with("0x") || s.starts_with("0X")) {
        base = 16;
        s.remove_prefix(2);
    } else if (s.starts_with("$")) {
        base = 16;
        s.remove_prefix(1);
    }
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return defaultValue;
    return negative ? -value : value;
}

}  // namespace quorvane
