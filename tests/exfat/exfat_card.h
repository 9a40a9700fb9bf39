#pragma once
// exFAT card images made at test time with the real tools: mkfs.exfat formats an image file, the
// image is attached to a loop device and mounted through exfat-fuse, photos made by ImageMagick are
// copied into folders and some deleted, and the image is detached again. Each photo's bytes stay
// in the card's folder as "originals/<path on the card>" to compare recovered files with.
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace quorvane::testing {

class ExFATCard {
public:
    ExFATCard();
    ~ExFATCard();
    ExFATCard(const ExFATCard&) = delete;
    ExFATCard& operator=(const ExFATCard&) = delete;

    // Why cards cannot be made here (a tool missing, no loop device, no FUSE), or "" when they can.
    // Tried once per test program, with a real format and mount.
    static const std::string& Unavailable();

    // Formats card.img (SizeMiB, ClusterSize as mkfs.exfat -c takes it: "4K", "128K") afresh; the
    // old content stays in the data area, as after a quick format.
    void Format(std::uint32_t SizeMiB, const std::string& ClusterSize, const std::string& Label = "CARD");
    // Attaches and mounts the image; Detach unmounts it and frees the loop device.
    void Attach();
    void Detach();
    // Makes a folder on the mounted card, with its parents.
    void Folder(const std::string& Path);
    // A JPEG of Width x Height made from Seed, written to Path on the mounted card and kept as the
    // original.
    void Photo(const std::string& Path, std::uint32_t Seed, std::uint32_t Width = 400, std::uint32_t Height = 300);
    // Deletes a file or (with its content) a folder on the mounted card.
    void Remove(const std::string& Path);
    void Run(const std::string& Command);

    std::filesystem::path Original(const std::string& Path) const { return Dir / "originals" / Path; }
    std::filesystem::path Image() const { return Dir / "card.img"; }

    std::filesystem::path Dir;

private:
    std::string Loop;
    std::filesystem::path MountPoint;
};

// Whether two files hold the same bytes.
bool SameBytes(const std::filesystem::path& A, const std::filesystem::path& B);

}  // namespace quorvane::testing
