#include "app/fragment_rebuild.h"

#include "media/file_end.h"
#include "media/jpeg_decode.h"
#include "media/jpeg_scan_walk.h"
#include "media/recoverutils.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <list>
#include <string>

namespace quorvane {

namespace {

// Reads the device in blocks and keeps the last few: the walks of neighbouring candidates read the
// same clusters over and over.
class SectorCache {
public:
    SectorCache(const TSectorReadFunction& read, std::uint64_t totalSectors, std::uint32_t bytesPerSector)
        : read_(read), total_(totalSectors), bps_(bytesPerSector) {}

    // Copies count sectors from sector on into out; false when any of them cannot be read.
    bool Read(std::uint64_t sector, std::uint32_t count, std::uint8_t* out) {
        while (count > 0) {
            if (sector >= total_) return false;
            const Block* block = Find(sector - sector % BlockSectors);
            if (block == nullptr) return false;
            const std::uint64_t inBlock = sector - block->first;
            if (inBlock >= block->sectors) return false;
            const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, block->sectors - inBlock));
            std::memcpy(out, block->bytes.data() + inBlock * bps_, std::size_t{n} * bps_);
            out += std::size_t{n} * bps_;
            sector += n;
            count -= n;
        }
        return true;
    }

private:
    static constexpr std::uint32_t BlockSectors = 256;
    static constexpr std::size_t MaxBlocks = 16;

    struct Block {
        std::uint64_t first = 0;
        std::uint32_t sectors = 0;
        std::vector<std::uint8_t> bytes;
    };

    const Block* Find(std::uint64_t first) {
        for (auto it = blocks_.begin(); it != blocks_.end(); ++it) {
            if (it->first == first) {
                blocks_.splice(blocks_.begin(), blocks_, it);
                return &blocks_.front();
            }
        }
        Block block;
        block.first = first;
        block.sectors = static_cast<std::uint32_t>(std::min<std::uint64_t>(BlockSectors, total_ - first));
        block.bytes.resize(std::size_t{block.sectors} * bps_);
        if (!read_(first, block.sectors, block.bytes.data())) {
            // One unreadable sector costs only itself: the block is read a sector at a time.
            block.sectors = 0;
            for (std::uint32_t s = 0; s < BlockSectors && first + s < total_; ++s) {
                if (!read_(first + s, 1, block.bytes.data() + std::size_t{s} * bps_)) break;
                block.sectors = s + 1;
            }
            if (block.sectors == 0) return nullptr;
        }
        blocks_.push_front(std::move(block));
        if (blocks_.size() > MaxBlocks) blocks_.pop_back();
        return &blocks_.front();
    }

    const TSectorReadFunction& read_;
    std::uint64_t total_;
    std::uint32_t bps_;
    std::list<Block> blocks_;
};

void AddRun(std::vector<TSectorRange>& runs, std::uint64_t first, std::uint64_t count) {
    if (!runs.empty() && runs.back().End() == first) {
        runs.back().Count += count;
    } else {
        runs.push_back({first, count});
    }
}

// A cluster boundary inside a piece, with the walk as it stood there.
struct Boundary {
    JpegScanWalker walker;
    std::uint64_t offset = 0;       // the picture's bytes before it
    std::uint64_t lastCluster = 0;  // the piece's cluster before it
    std::vector<TSectorRange> runs;
};

// A piece walked from its first cluster on, as far as its data holds.
struct PieceWalk {
    JpegWalkState state = JpegWalkState::Open;  // Open: stopped by a bound, the device's end or a read
    std::uint64_t joinOffset = 0;                // where the piece starts in the picture
    std::uint64_t stoppedAt = 0;                 // where the data broke, or the picture's end
    std::vector<TSectorRange> runs;
    std::deque<Boundary> boundaries;             // the last ones, within the lag of the end
};

class Rebuilder {
public:
    Rebuilder(const TSectorReadFunction& read, const TRebuildGeometry& g, const TSectorRanges& taken,
              const TRebuildLimits& limits)
        : g_(g), limits_(limits), cache_(read, g.TotalSectors, g.BytesPerSector), taken_(taken) {
        taken_.Normalize();
        if (g_.SectorsPerCluster == 0) g_.SectorsPerCluster = 1;
        // Any sector where a cluster begins serves; the picture's first one always does.
        if (g_.ClusterOrigin > g_.FirstSector) g_.ClusterOrigin = g_.FirstSector;
        clusterBytes_ = std::uint64_t{g_.SectorsPerCluster} * g_.BytesPerSector;
        buffer_.resize(clusterBytes_);
    }

    TJpegRebuild Run() {
        if (g_.FirstSector < g_.TotalSectors && g_.BytesPerSector > 0) {
            PieceWalk first = Walk(JpegScanWalker{}, 0, {}, ClusterOf(g_.FirstSector), g_.FirstSector);
            Search(first, 1);
        }
        result_.BytesDecoded = decoded_;
        return std::move(result_);
    }

private:
    std::uint64_t ClusterOf(std::uint64_t sector) const { return (sector - g_.ClusterOrigin) / g_.SectorsPerCluster; }
    std::uint64_t SectorOf(std::uint64_t cluster) const { return g_.ClusterOrigin + cluster * g_.SectorsPerCluster; }
    bool OutOfBudget() const { return result_.Attempts >= limits_.MaxAttempts || decoded_ >= limits_.MaxDecodedBytes; }

    // The first run of taken sectors ending after sector; Runs().end() when none.
    std::vector<TSectorRange>::const_iterator TakenFrom(std::uint64_t sector) const {
        const auto& runs = taken_.Runs();
        return std::upper_bound(runs.begin(), runs.end(), sector,
                                [](std::uint64_t s, const TSectorRange& r) { return s < r.End(); });
    }

    // The first cluster from cluster on that no other file owns a sector of.
    std::uint64_t NextFree(std::uint64_t cluster) const {
        for (;;) {
            const std::uint64_t first = SectorOf(cluster);
            if (first >= g_.TotalSectors) return cluster;
            const auto run = TakenFrom(first);
            if (run == taken_.Runs().end() || run->First >= first + g_.SectorsPerCluster) return cluster;
            cluster = ClusterOf(run->End() - 1) + 1;
        }
    }

    // Whether a cluster may carry on a picture: readable, not blank, and not the start of a file.
    bool MayContinue(std::uint64_t cluster) {
        std::vector<std::uint8_t>& s = sector_;
        s.resize(std::max<std::size_t>(g_.BytesPerSector, MinTestedSectorBytes));
        std::fill(s.begin(), s.end(), 0);
        if (!cache_.Read(SectorOf(cluster), 1, s.data())) return false;
        const auto bps = static_cast<std::size_t>(g_.BytesPerSector);
        if (std::all_of(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(bps), [&](std::uint8_t b) { return b == s[0]; })) {
            return false;
        }
        std::string extension;
        return !IsFileStart(s.data(), static_cast<std::int32_t>(bps), extension);
    }

    // Walks a piece from cluster on (from sector `from` inside it for the picture's first one).
    PieceWalk Walk(JpegScanWalker walker, std::uint64_t offset, std::vector<TSectorRange> runs, std::uint64_t cluster,
                   std::uint64_t from) {
        PieceWalk walk;
        walk.joinOffset = offset;
        bool first = true;
        for (;;) {
            if (!first) cluster = NextFree(cluster);
            const std::uint64_t clusterFirst = SectorOf(cluster);
            const std::uint64_t start = first ? std::max(from, clusterFirst) : clusterFirst;
            if (start >= g_.TotalSectors || decoded_ >= limits_.MaxDecodedBytes) break;
            const auto sectors = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(clusterFirst + g_.SectorsPerCluster, g_.TotalSectors) - start);
            const std::uint64_t bytes = std::uint64_t{sectors} * g_.BytesPerSector;
            if (offset + bytes > limits_.MaxFileBytes + clusterBytes_) break;
            if (!cache_.Read(start, sectors, buffer_.data())) break;
            walker.Feed(std::span<const std::uint8_t>(buffer_.data(), bytes));
            decoded_ += bytes;
            AddRun(runs, start, sectors);
            offset += bytes;
            first = false;
            if (walker.State() != JpegWalkState::Open) {
                walk.state = walker.State();
                walk.stoppedAt = walker.State() == JpegWalkState::Ended ? walker.End() : walker.BrokenAt();
                break;
            }
            walk.boundaries.push_back({walker, offset, cluster, runs});
            while (walk.boundaries.front().offset + limits_.MaxLagBytes + clusterBytes_ < offset) walk.boundaries.pop_front();
            ++cluster;
        }
        walk.runs = std::move(runs);
        return walk;
    }

    // Goes on from a walked piece: done when it reached the end of image and decodes whole,
    // else the continuation is looked for. pieces: the pieces walked so far.
    bool Search(const PieceWalk& walk, std::uint32_t pieces) {
        if (walk.state == JpegWalkState::Ended) return Finish(walk, pieces);
        if (walk.state != JpegWalkState::Broken || pieces >= limits_.MaxPieces) return false;
        const std::uint64_t brokenAt = walk.stoppedAt;
        // The walk notices a fault a little after it reads it; a boundary just past the point
        // still counts.
        constexpr std::uint64_t Slack = 64;
        struct Deferred {
            PieceWalk walk;
            std::uint64_t reach;
        };
        std::vector<Deferred> deferred;
        constexpr std::size_t MaxDeferred = 8;
        // A quarter of what is left is kept for the deferred ones: a short middle piece is found
        // only through them.
        const std::uint32_t left = limits_.MaxAttempts - std::min(result_.Attempts, limits_.MaxAttempts);
        const std::uint32_t firstPhaseEnd = result_.Attempts + left - left / 4;
        bool phaseOver = false;

        // Boundaries within NearLagBytes of the break first, with every candidate; then the others.
        const std::uint64_t windows[2][2] = {{0, limits_.NearLagBytes}, {limits_.NearLagBytes + 1, limits_.MaxLagBytes}};
        for (const auto& window : windows) {
            if (phaseOver) break;
            std::vector<const Boundary*> splits;  // nearest first
            for (auto it = walk.boundaries.rbegin(); it != walk.boundaries.rend(); ++it) {
                const std::uint64_t lag = brokenAt + Slack > it->offset ? brokenAt + Slack - it->offset : 0;
                if (it->offset <= brokenAt + Slack && lag >= window[0] && lag <= window[1]) splits.push_back(&*it);
            }
            if (splits.empty()) continue;
            std::vector<std::uint64_t> after(splits.size());  // where each split's own piece went on
            std::uint64_t firstCandidate = ~std::uint64_t{0}, lastEnd = 0;
            for (std::size_t i = 0; i < splits.size(); ++i) {
                after[i] = NextFree(splits[i]->lastCluster + 1);
                firstCandidate = std::min(firstCandidate, after[i] + 1);
                lastEnd = std::max(lastEnd, splits[i]->lastCluster);
            }
            const std::uint64_t gapClusters = limits_.MaxGapBytes / clusterBytes_ + 1;
            for (std::uint64_t c = NextFree(firstCandidate); c <= lastEnd + gapClusters && !phaseOver; c = NextFree(c + 1)) {
                if (SectorOf(c) >= g_.TotalSectors) break;
                if (!MayContinue(c)) continue;
                for (std::size_t i = 0; i < splits.size(); ++i) {
                    if (c <= after[i]) continue;
                    if (OutOfBudget() || result_.Attempts >= firstPhaseEnd) {
                        phaseOver = true;
                        break;
                    }
                    ++result_.Attempts;
                    const Boundary& s = *splits[i];
                    PieceWalk next = Walk(s.walker, s.offset, s.runs, c, SectorOf(c));
                    if (next.state == JpegWalkState::Ended) {
                        if (Finish(next, pieces + 1)) return true;
                        continue;
                    }
                    if (next.state != JpegWalkState::Broken || next.boundaries.empty()) continue;
                    const std::uint64_t reach = next.stoppedAt > s.offset ? next.stoppedAt - s.offset : 0;
                    if (reach >= limits_.SureBytes) {
                        if (Search(next, pieces + 1)) return true;
                        continue;
                    }
                    // It carried on for a cluster or more: a short middle piece, or foreign data
                    // that looked right for a while. Tried once nothing better turns up.
                    if (pieces + 1 < limits_.MaxPieces) {
                        deferred.push_back({std::move(next), reach});
                        std::sort(deferred.begin(), deferred.end(),
                                  [](const Deferred& a, const Deferred& b) { return a.reach > b.reach; });
                        if (deferred.size() > MaxDeferred) deferred.pop_back();
                    }
                }
            }
        }
        for (const Deferred& d : deferred) {
            if (OutOfBudget()) break;
            if (Search(d.walk, pieces + 1)) return true;
        }
        return false;
    }

    // Reads the picture back from its runs; true when it decodes whole. A multi-picture file's
    // further pictures are taken when they follow its last piece.
    bool Finish(const PieceWalk& walk, std::uint32_t pieces) {
        std::vector<TSectorRange> runs = walk.runs;
        std::uint64_t size = walk.stoppedAt;
        std::vector<std::uint8_t> bytes;
        if (!ReadRuns(runs, bytes) || bytes.size() < size) return false;
        bytes.resize(size);
        const FoundEnd found = FindFileEnd(EndRule::Jpeg, bytes);
        if (found.state == EndState::Ended && found.end > size && found.end <= limits_.MaxFileBytes) {
            std::uint64_t cluster = ClusterOf(runs.back().End() - 1) + 1;
            std::vector<std::uint8_t> more;
            std::vector<TSectorRange> tail = runs;
            std::uint64_t have = 0;
            for (const TSectorRange& r : runs) have += r.Count * g_.BytesPerSector;
            while (have < found.end) {
                cluster = NextFree(cluster);
                const std::uint64_t first = SectorOf(cluster);
                if (first >= g_.TotalSectors) break;
                const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(g_.SectorsPerCluster, g_.TotalSectors - first));
                AddRun(tail, first, n);
                have += std::uint64_t{n} * g_.BytesPerSector;
                ++cluster;
            }
            if (have >= found.end && ReadRuns(tail, more) && more.size() >= found.end) {
                more.resize(found.end);
                bytes = std::move(more);
                runs = std::move(tail);
                size = found.end;
            }
        }
        decoded_ += bytes.size();
        if (DecodeJpegBytes(bytes).condition != TFileCondition::Whole) return false;
        // Only the sectors the picture reaches.
        std::uint64_t left = (size + g_.BytesPerSector - 1) / g_.BytesPerSector;
        std::vector<TSectorRange> used;
        for (const TSectorRange& r : runs) {
            if (left == 0) break;
            const std::uint64_t n = std::min(left, r.Count);
            used.push_back({r.First, n});
            left -= n;
        }
        result_.Runs = std::move(used);
        result_.Bytes = std::move(bytes);
        result_.Pieces = pieces;
        return true;
    }

    bool ReadRuns(const std::vector<TSectorRange>& runs, std::vector<std::uint8_t>& out) {
        std::uint64_t total = 0;
        for (const TSectorRange& r : runs) total += r.Count;
        if (total * g_.BytesPerSector > limits_.MaxFileBytes + 2 * clusterBytes_) return false;
        out.resize(total * g_.BytesPerSector);
        std::uint8_t* p = out.data();
        for (const TSectorRange& r : runs) {
            for (std::uint64_t s = 0; s < r.Count;) {
                const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(r.Count - s, 256));
                if (!cache_.Read(r.First + s, n, p)) return false;
                p += std::size_t{n} * g_.BytesPerSector;
                s += n;
            }
        }
        return true;
    }

    TRebuildGeometry g_;
    TRebuildLimits limits_;
    SectorCache cache_;
    TSectorRanges taken_;
    std::uint64_t clusterBytes_ = 0;
    std::uint64_t decoded_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint8_t> sector_;
    TJpegRebuild result_;
};

}  // namespace

TJpegRebuild RebuildJpeg(const TSectorReadFunction& read, const TRebuildGeometry& geometry, const TSectorRanges& taken,
                         const TRebuildLimits& limits) {
    Rebuilder rebuilder(read, geometry, taken, limits);
    return rebuilder.Run();
}

}  // namespace quorvane
