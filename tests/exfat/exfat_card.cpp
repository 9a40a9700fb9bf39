#include "exfat_card.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quorvane::testing {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& Text) {
    std::string out = "'";
    for (char c : Text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The command's standard output, or nullopt-like empty text when it failed.
bool Capture(const std::string& Command, std::string& Out) {
    Out.clear();
    FILE* pipe = ::popen(Command.c_str(), "r");
    if (!pipe) return false;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) Out += buffer;
    while (!Out.empty() && (Out.back() == '\n' || Out.back() == ' ')) Out.pop_back();
    return ::pclose(pipe) == 0;
}

std::string ProbeUnavailable() {
    for (const char* tool : {"mkfs.exfat", "losetup", "mount.exfat-fuse", "convert"}) {
        if (std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) != 0)
            return std::string(tool) + " is not installed";
    }
    try {
        ExFATCard card;
        card.Format(8, "4K");
        card.Attach();
        card.Detach();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

}  // namespace

const std::string& ExFATCard::Unavailable() {
    static const std::string why = ProbeUnavailable();
    return why;
}

ExFATCard::ExFATCard() {
    char pattern[] = "/tmp/quorvane-exfat-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("cannot make a temporary folder");
    Dir = pattern;
    MountPoint = Dir / "mnt";
    fs::create_directories(MountPoint);
    fs::create_directories(Dir / "originals");
}

ExFATCard::~ExFATCard() {
    try {
        Detach();
    } catch (...) {
    }
    std::error_code ec;
    fs::remove_all(Dir, ec);
}

void ExFATCard::Run(const std::string& Command) {
    const std::string cmd = "cd " + Quoted(Dir.string()) + " && (" + Command + ") >>tools.log 2>&1";
    if (std::system(cmd.c_str()) != 0) {
        std::ifstream log(Dir / "tools.log");
        throw std::runtime_error("failed: " + Command + "\n" +
                                 std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>()));
    }
}

void ExFATCard::Format(std::uint32_t SizeMiB, const std::string& ClusterSize, const std::string& Label) {
    if (!fs::exists(Image())) Run("truncate -s " + std::to_string(SizeMiB) + "M card.img");
    Run("mkfs.exfat -c " + ClusterSize + " -L " + Quoted(Label) + " card.img");
}

void ExFATCard::Attach() {
    std::string loop;
    if (!Capture("losetup -f --show " + Quoted(Image().string()) + " 2>/dev/null", loop) || loop.empty())
        throw std::runtime_error("no loop device can be attached (losetup -f)");
    Loop = loop;
    if (std::system(("mount.exfat-fuse " + Loop + " " + Quoted(MountPoint.string()) + " >/dev/null 2>&1").c_str()) !=
        0) {
        std::system(("losetup -d " + Loop).c_str());
        Loop.clear();
        throw std::runtime_error("exfat-fuse cannot mount a loop device here (FUSE unavailable)");
    }
}

void ExFATCard::Detach() {
    if (Loop.empty()) return;
    std::system(("umount " + Quoted(MountPoint.string()) + " >/dev/null 2>&1").c_str());
    std::system(("losetup -d " + Loop + " >/dev/null 2>&1").c_str());
    Loop.clear();
}

void ExFATCard::Folder(const std::string& Path) { fs::create_directories(MountPoint / Path); }

void ExFATCard::Photo(const std::string& Path, std::uint32_t Seed, std::uint32_t Width, std::uint32_t Height) {
    const fs::path original = Original(Path);
    fs::create_directories(original.parent_path());
    Run("convert -seed " + std::to_string(Seed) + " -size " + std::to_string(Width) + "x" + std::to_string(Height) +
        " plasma: " + Quoted(original.string()));
    fs::create_directories((MountPoint / Path).parent_path());
    fs::copy_file(original, MountPoint / Path);
}

void ExFATCard::Remove(const std::string& Path) { fs::remove_all(MountPoint / Path); }

bool SameBytes(const fs::path& A, const fs::path& B) {
    std::ifstream a(A, std::ios::binary), b(B, std::ios::binary);
    if (!a || !b) return false;
    return std::equal(std::istreambuf_iterator<char>(a), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(b), std::istreambuf_iterator<char>());
}

}  // namespace quorvane::testing
