#include "app/format_wipe.h"

#include "app/ui.h"
#include "platform/drive_table.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quorvane {
namespace {

// /proc/self/mounts writes blanks, tabs, newlines and backslashes in names as octal escapes.
std::string unescapeMountField(const std::string& field) {
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

std::string realPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string r = resolved;
    std::free(resolved);
    return r;
}

// The device names (sdb, sdb1) that stand for this path: a whole disk also stands for its
// partitions, an image for the loop devices that serve it.
std::vector<std::string> namesServing(const std::string& path, const std::string& sysBlock) {
    std::vector<std::string> names;
    const std::string real = realPath(path);
    struct stat st{};
    // A device node, or a device name whose node udev has not made (yet).
    const bool device = ::stat(real.c_str(), &st) == 0 ? S_ISBLK(st.st_mode) : real.rfind("/dev/", 0) == 0;
    if (device) {
        names.push_back(real);
        return names;
    }
    // An image file: the loop devices whose backing file it is.
    if (DIR* dir = ::opendir(sysBlock.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name.rfind("loop", 0) != 0) continue;
            std::ifstream backing(sysBlock + "/" + name + "/loop/backing_file");
            std::string file;
            if (std::getline(backing, file) && realPath(file) == real) names.push_back("/dev/" + name);
        }
        ::closedir(dir);
    }
    return names;
}

bool sameOrPartitionOf(const std::string& mounted, const std::string& device) {
    if (mounted == device) return true;
    if (mounted.rfind(device, 0) != 0 || mounted.size() == device.size()) return false;
    // sdb -> sdb1, mmcblk0 / loop0 -> mmcblk0p1 / loop0p1
    const char next = mounted[device.size()];
    return (next >= '0' && next <= '9') || (next == 'p' && mounted.size() > device.size() + 1);
}

std::string findProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/sbin:/usr/bin:/bin";
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) continue;
        const std::string candidate = dir + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

}  // namespace

std::string MountPointOf(const DriveEntry& drive, const std::string& mountsFile, const std::string& sysBlock) {
    const auto devices = namesServing(drive.path, sysBlock);
    if (devices.empty()) return "";
    std::ifstream mounts(mountsFile);
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string source, target;
        if (!(fields >> source >> target)) continue;
        if (source.empty() || source[0] != '/') continue;
        const std::string mounted = realPath(unescapeMountField(source));
        for (const auto& device : devices) {
            // A partition of an image is its own drive but shares the image's loop device.
            if (sameOrPartitionOf(mounted, device)) return unescapeMountField(target);
        }
    }
    return "";
}

std::string VolumeLabelProblem(const std::string& label) {
    if (label.size() > 11) return "A volume label has at most 11 characters.";
    for (const unsigned char c : label) {
        if (c < 0x20 || c > 0x7E) return "A volume label holds only plain letters, digits and blanks.";
        if (std::string("\"*+,./:;<=>?[\\]|").find(static_cast<char>(c)) != std::string::npos) {
            return std::string("A volume label cannot hold the character ") + static_cast<char>(c) + ".";
        }
    }
    return "";
}

std::vector<std::string> MkfsFatArguments(const DriveEntry& drive, const TFormatOptions& options) {
    std::vector<std::string> args{"mkfs.fat"};
    if (options.FileSystem == "FAT12") args.insert(args.end(), {"-F", "12"});
    if (options.FileSystem == "FAT16") args.insert(args.end(), {"-F", "16"});
    if (options.FileSystem == "FAT32") args.insert(args.end(), {"-F", "32"});
    if (!options.VolumeLabel.empty()) {
        std::string upper = options.VolumeLabel;
        for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        args.insert(args.end(), {"-n", upper});
    }
    if (!drive.isImage) {
        // A card formatted without a partition table is a whole-disk volume, as cameras make them;
        // mkfs.fat asks for -I to write one. Mounted volumes were refused before.
        args.push_back("-I");
    }
    if (drive.isImage && drive.offsetBytes != 0) {
        args.insert(args.end(), {"--offset", std::to_string(drive.offsetBytes / 512)});
    }
    args.push_back(drive.path);
    if (drive.isImage && drive.sizeBytes != 0) args.push_back(std::to_string(drive.sizeBytes / 1024));
    return args;
}

TToolResult RunTool(const std::vector<std::string>& arguments) {
    TToolResult result;
    if (arguments.empty()) return result;
    const std::string program = findProgram(arguments[0]);
    if (program.empty()) {
        result.Output = arguments[0] + " was not found; install dosfstools.";
        return result;
    }
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        result.Output = "Cannot start " + program + ": " + std::strerror(rc);
        return result;
    }
    char buffer[4096];
    for (;;) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 20) > 0) {
            const ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n <= 0) break;
            if (result.Output.size() < 65536) result.Output.append(buffer, static_cast<std::size_t>(n));
        }
        PumpMessages();
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace quorvane
