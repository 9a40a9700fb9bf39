#include "platform/mount_table.h"

#include <fstream>
#include <sstream>

namespace quorvane {

std::string UnescapeMountField(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const bool octal = field[i] == '\\' && i + 3 < field.size() &&
                           field[i + 1] >= '0' && field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
                           field[i + 3] >= '0' && field[i + 3] <= '7';
        if (octal) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<MountEntry> ReadMountTable(const std::string& path) {
    std::vector<MountEntry> entries;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string source, target, type, options;
        if (!(fields >> source >> target)) continue;
        fields >> type >> options;
        entries.push_back({UnescapeMountField(source), UnescapeMountField(target), UnescapeMountField(type),
                           UnescapeMountField(options)});
    }
    return entries;
}

}  // namespace quorvane
