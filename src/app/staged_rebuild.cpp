#include "app/staged_rebuild.h"

#include "app/file_naming.h"
#include "app/staged_file.h"
#include "media/media_formats.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <unistd.h>

namespace quorvane {

namespace {

constexpr std::uint32_t FallbackClusterBytes = 4096;

struct ClusterGeometry {
    std::uint32_t SectorsPerCluster = 0;
    std::uint64_t Origin = 0;
    bool Known = false;
};

ClusterGeometry GridOf(const TRebuildDevice& device, std::uint32_t bps) {
    ClusterGeometry g;
    if (device.SectorsPerCluster != 0) {
        g.SectorsPerCluster = device.SectorsPerCluster;
        g.Origin = device.ClusterOrigin;
        g.Known = true;
    } else {
        g.SectorsPerCluster = std::max<std::uint32_t>(1, FallbackClusterBytes / bps);
    }
    return g;
}

// The sectors a staged file was read from: from its first sector on, the clusters whose bytes
// are the file's next bytes. The folder based method passes over the clusters that live files
// hold; a carved file's clusters all follow one another.
void AddOwnSectors(const TSectorReadFunction& read, const TStagedFile& file, std::uint64_t totalSectors,
                   std::uint32_t bps, std::uint32_t spc, std::uint64_t origin, TSectorRanges& out) {
    std::ifstream in(file.Path, std::ios::binary);
    if (!in) return;
    const std::uint64_t clusterBytes = std::uint64_t{spc} * bps;
    const std::uint64_t maxPassed = (std::uint64_t{64} << 20) / clusterBytes;
    std::vector<std::uint8_t> staged(clusterBytes), card(clusterBytes);
    std::uint64_t sector = file.Origin.FirstSector;
    std::uint64_t placed = 0, passed = 0;
    std::size_t want = 0;  // staged bytes waiting for their cluster
    // Only as far as a picture is rebuilt: a long film's read is not compared to its end.
    const std::uint64_t size = std::min<std::uint64_t>(file.Size, TRebuildLimits{}.MaxFileBytes);
    while (placed < size && sector < totalSectors && passed <= maxPassed) {
        // The first cluster may start before the file's first sector when the grid is a guess.
        const std::uint64_t clusterEnd = sector >= origin ? origin + ((sector - origin) / spc + 1) * spc : sector + spc;
        const auto sectors = static_cast<std::uint32_t>(std::min(clusterEnd, totalSectors) - sector);
        const std::size_t bytes = std::size_t{sectors} * bps;
        if (want == 0) {
            want = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, size - placed));
            in.read(reinterpret_cast<char*>(staged.data()), static_cast<std::streamsize>(want));
            if (static_cast<std::size_t>(in.gcount()) != want) return;
        }
        const std::size_t compare = std::min(want, bytes);
        if (read(sector, sectors, card.data()) && std::memcmp(card.data(), staged.data(), compare) == 0 && compare == want) {
            out.Add(sector, sectors);  // the whole cluster: what lies after the file's end in it is no other file's
            placed += want;
            want = 0;
        } else {
            ++passed;
        }
        sector += sectors;
    }
}

// The runs of all without the sectors in remove; both normalized.
TSectorRanges Without(const TSectorRanges& all, const TSectorRanges& remove) {
    TSectorRanges out;
    const auto& cut = remove.Runs();
    std::size_t j = 0;
    for (const TSectorRange& r : all.Runs()) {
        std::uint64_t at = r.First;
        while (j < cut.size() && cut[j].End() <= at) ++j;
        for (std::size_t k = j; k < cut.size() && cut[k].First < r.End(); ++k) {
            if (cut[k].First > at) out.Add(at, cut[k].First - at);
            at = std::max(at, cut[k].End());
        }
        if (at < r.End()) out.Add(at, r.End() - at);
    }
    out.Normalize();
    return out;
}

bool IsJpeg(const std::string& path) {
    std::string extension = ExtensionWithDot(path);
    if (!extension.empty()) extension.erase(0, 1);
    const MediaFormat* format = FindMediaFormat(extension);
    return format != nullptr && format->check == ContentCheck::JpegDecode;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    StagedFileWriter writer;
    if (!writer.Create(path)) return false;
    writer.Append(bytes.data(), bytes.size());
    if (writer.Close()) return true;
    writer.Discard();
    return false;
}

}  // namespace

std::vector<std::size_t> RebuildDamagedPhotos(TStagedList& staged, const TRebuildDevice& device, const TSectorRanges& taken,
                                              const std::function<bool()>& goOn, const TRebuildLimits& limits) {
    std::vector<std::size_t> rebuiltFiles;
    std::vector<std::size_t> damaged;
    for (std::size_t i = 0; i < staged.Size(); ++i) {
        const TStagedFile& f = staged.Files()[i];
        if (f.Condition == TFileCondition::Damaged && f.Origin.FirstSector != 0) damaged.push_back(i);
    }
    if (damaged.empty() || device.TotalSectors == 0 || !device.Read) return rebuiltFiles;
    const std::uint32_t bps = device.BytesPerSector != 0 ? device.BytesPerSector : 512;
    const TSectorReadFunction& read = device.Read;
    const ClusterGeometry grid = GridOf(device, bps);

    // What a damaged file was read from is no file's for sure: a deleted photo's entry points at
    // clusters written over since, and its read took whatever lay in the free clusters after
    // them, maybe another photo's pieces. Only the rest stays passed over.
    TSectorRanges untrusted;
    for (std::size_t i : damaged) {
        const TStagedFile& f = staged.Files()[i];
        const std::uint64_t origin = grid.Known ? grid.Origin : f.Origin.FirstSector;
        AddOwnSectors(read, f, device.TotalSectors, bps, grid.SectorsPerCluster, origin, untrusted);
    }
    TSectorRanges others = taken;
    others.Normalize();
    untrusted.Normalize();
    others = Without(others, untrusted);

    for (std::size_t i : damaged) {
        if (goOn && !goOn()) break;
        const TStagedFile& f = staged.Files()[i];
        if (!IsJpeg(f.Path)) continue;
        TRebuildGeometry geometry;
        geometry.FirstSector = f.Origin.FirstSector;
        geometry.TotalSectors = device.TotalSectors;
        geometry.BytesPerSector = bps;
        geometry.SectorsPerCluster = grid.SectorsPerCluster;
        geometry.ClusterOrigin = grid.Known ? grid.Origin : f.Origin.FirstSector;
        const TJpegRebuild rebuilt = RebuildJpeg(read, geometry, others, limits);
        if (!rebuilt.Rebuilt()) continue;
        // The staged file is replaced only by a rebuilt one that checks whole as it lies on disk.
        const std::string path = f.Path;
        const std::string part = path + ".rebuilt";
        if (!WriteFile(part, rebuilt.Bytes) || CheckFileContent(ContentCheck::JpegDecode, part) != TFileCondition::Whole ||
            std::rename(part.c_str(), path.c_str()) != 0) {
            ::unlink(part.c_str());
            continue;
        }
        staged.SetCondition(i, TFileCondition::Whole);
        staged.UpdateSize(i);
        rebuiltFiles.push_back(i);
        // Its sectors are its own now: no later photo is rebuilt through them.
        for (const TSectorRange& r : rebuilt.Runs) others.Add(r.First, r.Count);
        others.Normalize();
    }
    return rebuiltFiles;
}

}  // namespace quorvane
