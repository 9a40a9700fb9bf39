#include "update/expand_path.h"

#include "platform/work_folder.h"
#include "support/zarq_versioninfo.h"
#include "update/command_line.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <unistd.h>

namespace quorvane {
namespace {

std::string withoutTrailingSlashes(std::string folder) {
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    return folder.empty() ? std::string("/.") : folder;
}

std::string currentDirectory() {
    std::array<char, 4096> buffer{};
    return ::getcwd(buffer.data(), buffer.size()) != nullptr ? std::string(buffer.data()) : std::string(".");
}

std::string settingsFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.config";
}

// The folder levels above the running executable: 1 its own folder, 2 the one holding that.
std::string programFolderUp(int levels) {
    std::string exe = OwnExecutablePath();
    if (exe.empty()) return levels == 1 ? currentDirectory() : std::string("/");
    for (int i = 0; i < levels; ++i) {
        const std::size_t slash = exe.rfind('/');
        exe = slash == std::string::npos || slash == 0 ? std::string("/") : exe.substr(0, slash);
    }
    return exe;
}

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

}  // namespace

TPathPrefixes CurrentPathPrefixes() {
    return {settingsFolder(), programFolderUp(1), GetTempPath(), programFolderUp(2)};
}

std::string ConvertPrefix(std::string_view name, const TPathPrefixes& prefixes) {
    const std::string key = upper(name);
    if (key == "WIN") return withoutTrailingSlashes(prefixes.win);
    if (key == "APP") return withoutTrailingSlashes(prefixes.app);
    if (key == "TMP") return withoutTrailingSlashes(prefixes.tmp);
    if (key == "PF") return withoutTrailingSlashes(prefixes.pf);
    return "{" + std::string(name) + "}";
}

std::string ExpandPath(std::string_view path, const TPathPrefixes& prefixes) {
    std::string out;
    while (!path.empty()) {
        const std::size_t open = path.find('{');
        const std::size_t close = open == std::string_view::npos ? open : path.find('}', open);
        if (close == std::string_view::npos) break;
        out += path.substr(0, open);
        out += ConvertPrefix(path.substr(open + 1, close - open - 1), prefixes);
        path.remove_prefix(close + 1);
    }
    out += path;
    return out;
}

std::string LocalPath(std::string_view windowsPath) {
    std::string path(windowsPath);
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        if (std::toupper(static_cast<unsigned char>(path[0])) != 'C') return {};
        path = path.size() == 2 ? std::string("/") : path.substr(2);
        if (path.front() != '/') path.insert(path.begin(), '/');
    }
    return path;
}

std::string LocalCommandLine(std::string_view commandLine, const TPathPrefixes& prefixes) {
    std::vector<std::string> args = SplitCommandLine(commandLine);
    if (args.empty()) return {};
    for (std::string& a : args) a = ExpandPath(a, prefixes);
    args[0] = LocalPath(args[0]);
    std::string out;
    for (const std::string& a : args) {
        if (!out.empty()) out += ' ';
        const bool quote = a.empty() || a.find_first_of(" \t") != std::string::npos;
        out += quote ? "\"" + a + "\"" : a;
    }
    return out;
}

}  // namespace quorvane
