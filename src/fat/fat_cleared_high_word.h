#pragma once
// Deleted FAT32 entries whose first cluster lost its high word.
#include <cstdint>
#include <functional>
#include <vector>

namespace quorvane {

class TFATdrive;
class TFATFile;

// Some FAT32 writers clear bytes 20-21 of an entry when they delete it, so the entry names a
// cluster below 65536 that is most likely another file's. When a deleted file's cluster is in use,
// or does not begin the way its type must, the high words of NeighbourHighWords (the other
// entries of its folder, nearest first) and then every high word of the volume are tried, and the
// first cluster that is free and begins as the type must becomes the file's first cluster. When
// none fits, the file is marked DataNotFound. Files of types whose first bytes prove nothing are
// only moved off a cluster in use. Nothing happens outside FAT32 or on volumes below 65536
// clusters.
// NeighbourHighWords is asked only for a file that needs the search.
void RepairClearedHighWord(TFATdrive& Drive, TFATFile& File,
                           const std::function<std::vector<std::uint16_t>()>& NeighbourHighWords);

}  // namespace quorvane
