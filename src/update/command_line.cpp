#include "update/command_line.h"

namespace quorvane {

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
    std::vector<std::string> args;
    std::string current;
    bool inQuotes = false;
    bool haveArg = false;
    for (char c : commandLine) {
        if (c == '"') {
            inQuotes = !inQuotes;
            haveArg = true;  // "" is an empty argument
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (haveArg) args.push_back(current);
            current.clear();
            haveArg = false;
        } else {
            current += c;
            haveArg = true;
        }
    }
    if (haveArg) args.push_back(current);
    return args;
}

}  // namespace quorvane
