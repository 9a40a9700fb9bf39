#pragma once
// What libblkid finds in a volume: its file system (FAT12/FAT16/FAT32 for FAT volumes), label,
// and the partitions of a partition table at its start.
#include "platform/volume.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

struct ProbedPartition {
    int number = 0;  // as the table numbers it
    std::uint64_t startBytes = 0;
    std::uint64_t sizeBytes = 0;
    std::string type;  // an MBR type byte as "0x0c", or a GPT type GUID in lower case
};

struct VolumeProbe {
    bool readable = false;       // the probe could read the volume
    std::string type;            // blkid TYPE: "vfat", "ext4", ...; empty when none was recognised
    std::string fileSystem;      // "FAT12", "FAT16", "FAT32" for FAT, else the TYPE
    std::string label;
    std::string partitionTable;  // "dos", "gpt"; empty when there is none
    std::vector<ProbedPartition> partitions;  // primary and logical ones, not the extended container
    std::uint32_t sectorSize = 512;           // the logical sector size the table counts in
};

// Probes [offset, offset + size) of an open file or block device (size 0: to its end).
VolumeProbe ProbeVolume(int fd, std::uint64_t offsetBytes, std::uint64_t sizeBytes, bool withPartitions);

// Probes a volume that only an opener can read (an in-memory volume): its first sectors are
// copied into an anonymous file of the volume's size and probed there.
VolumeProbe ProbeVolumeThroughOpener(VolumeOpener& opener);

// The name a FAT volume's file system goes by: VERSION for vfat ("FAT16"), "FAT" when blkid
// gives none, otherwise the TYPE itself.
std::string FileSystemNameOf(const std::string& type, const std::string& version);

}  // namespace quorvane
