#include "disk/sector_ranges.h"

#include <algorithm>

namespace quorvane {

void TSectorRanges::Add(std::uint64_t First, std::uint64_t Count) {
    if (Count == 0) return;
    if (!Ranges.empty() && Ranges.back().End() == First) {
        Ranges.back().Count += Count;
        return;
    }
    Ranges.push_back({First, Count});
}

void TSectorRanges::Normalize() {
    std::sort(Ranges.begin(), Ranges.end(), [](const TSectorRange& a, const TSectorRange& b) { return a.First < b.First; });
    std::vector<TSectorRange> joined;
    for (const TSectorRange& r : Ranges) {
        if (!joined.empty() && r.First <= joined.back().End()) {
            joined.back().Count = std::max(joined.back().End(), r.End()) - joined.back().First;
        } else {
            joined.push_back(r);
        }
    }
    Ranges = std::move(joined);
}

std::uint64_t TSectorRanges::Sectors() const {
    std::uint64_t n = 0;
    for (const TSectorRange& r : Ranges) n += r.Count;
    return n;
}

bool TSectorRanges::Cursor::Contains(std::uint64_t Sector) {
    const auto& runs = *Ranges;
    while (At < runs.size() && runs[At].End() <= Sector) ++At;
    return At < runs.size() && runs[At].First <= Sector;
}

std::uint64_t TSectorRanges::Cursor::NextChange(std::uint64_t Sector) {
    if (Contains(Sector)) return (*Ranges)[At].End();
    return At < Ranges->size() ? (*Ranges)[At].First : UINT64_MAX;
}

}  // namespace quorvane
