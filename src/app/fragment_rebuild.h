#pragma once
// Rebuilds a JPEG whose bytes lie on the card in more than one piece: a deleted photo that was
// written into the holes other files left, read back from consecutive clusters, or a carved one
// that runs into another file's data.
//
// The picture is walked from its first sector, cluster after cluster, passing over the clusters
// that other files own, until its data stops making sense (JpegScanWalker). Its first piece ends
// at one of the cluster boundaries shortly before that point: the walk is kept at each of them.
// The continuation is looked for in the clusters that follow: each that no other file owns and
// that does not begin another file is fed to the walk kept at each of those boundaries, nearest
// first. Foreign data breaks the walk within a few hundred bytes; the true continuation decodes on
// to the end of image, or runs on well past the join and breaks again, where the next piece is
// looked for the same way. A picture that reaches its end of image is read back whole and kept
// only if it decodes without a single warning, as the content check decodes it.
//
// Every search is bounded: the pieces, how far past a piece's end its continuation may lie, the
// continuations tried and the bytes decoded for one picture.
#include "disk/sector_ranges.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace quorvane {

struct TRebuildLimits {
    std::uint32_t MaxPieces = 3;
    // How far past where a piece's data ends its continuation is looked for.
    std::uint64_t MaxGapBytes = std::uint64_t{64} << 20;
    // Continuations tried (each a walk from a kept boundary into one candidate cluster).
    std::uint32_t MaxAttempts = 4000;
    // Bytes decoded for one picture, the walks of its pieces and of every candidate together.
    std::uint64_t MaxDecodedBytes = std::uint64_t{256} << 20;
    // How far before the point where the walk broke a piece may have ended: foreign data that
    // looks like JPEG data (another photo of the same camera) can decode for a while. The
    // boundaries within NearLagBytes are tried first, with every candidate; the rest after.
    std::uint64_t NearLagBytes = 16 << 10;
    std::uint64_t MaxLagBytes = 128 << 10;
    // A continuation that decodes this far past the join is taken at once.
    std::uint64_t SureBytes = 64 << 10;
    // The largest picture rebuilt.
    std::uint64_t MaxFileBytes = std::uint64_t{64} << 20;
};

struct TRebuildGeometry {
    std::uint64_t FirstSector = 0;     // the picture's first sector on the device
    std::uint64_t TotalSectors = 0;    // the device's size
    std::uint32_t BytesPerSector = 512;
    std::uint32_t SectorsPerCluster = 8;
    std::uint64_t ClusterOrigin = 0;   // a device sector where a cluster begins
};

// Reads count sectors from sector on into out; false when they cannot be read.
using TSectorReadFunction = std::function<bool(std::uint64_t sector, std::uint32_t count, std::uint8_t* out)>;

struct TJpegRebuild {
    std::vector<TSectorRange> Runs;   // the picture's sectors, in its order; empty when not rebuilt
    std::vector<std::uint8_t> Bytes;  // the rebuilt picture (its last run may hold more)
    std::uint32_t Pieces = 0;         // the pieces found by decoding (runs split by passed-over clusters not counted)
    std::uint32_t Attempts = 0;       // continuations tried
    std::uint64_t BytesDecoded = 0;
    bool Rebuilt() const { return !Runs.empty(); }
};

// Rebuilds the JPEG that starts at geometry.FirstSector. taken: the sectors other files own.
TJpegRebuild RebuildJpeg(const TSectorReadFunction& read, const TRebuildGeometry& geometry, const TSectorRanges& taken,
                         const TRebuildLimits& limits = {});

}  // namespace quorvane
