#pragma once
// Runs of a volume's sectors, such as the sectors that the files recovered by their directory
// entries were read from: the scan of the combined run passes over them, so that a file is
// neither carved a second time nor carved through another file's data.
#include <cstdint>
#include <vector>

namespace quorvane {

struct TSectorRange {
    std::uint64_t First = 0;
    std::uint64_t Count = 0;
    std::uint64_t End() const { return First + Count; }
};

class TSectorRanges {
public:
    // Adds Count sectors from First; a run that continues the last one added joins it.
    void Add(std::uint64_t First, std::uint64_t Count);
    // Sorts the runs and joins those that touch or overlap; call once before asking Contains.
    void Normalize();
    bool Empty() const { return Ranges.empty(); }
    const std::vector<TSectorRange>& Runs() const { return Ranges; }
    std::uint64_t Sectors() const;

    // Asks about sectors in ascending order, each in O(1) on average: the scan's pace.
    class Cursor {
    public:
        explicit Cursor(const TSectorRanges& Ranges) : Ranges(&Ranges.Ranges) {}
        bool Contains(std::uint64_t Sector);
        // Where the answer of Contains next changes from Sector on: the end of the run that holds
        // Sector, else the start of the next run (UINT64_MAX when none follows).
        std::uint64_t NextChange(std::uint64_t Sector);

    private:
        const std::vector<TSectorRange>* Ranges;
        std::size_t At = 0;
    };

private:
    std::vector<TSectorRange> Ranges;
};

}  // namespace quorvane
