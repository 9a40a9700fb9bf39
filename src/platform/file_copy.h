#pragma once
// Copies of file bytes: a recovered file to a name that must not exist yet, and a range of one
// open file into another, made by the kernel where it can.
#include <cstdint>
#include <string>

namespace quorvane {

enum class CopyStatus { Done, TargetExists, Failed };

struct CopyResult {
    CopyStatus status = CopyStatus::Failed;
    std::string error;  // "Cannot write ~/Pictures/image3.JPG: No space left on device"
};

// Creates target exclusively and fills it with source's bytes. On the same file system the
// new name is a hard link to the staged file, which is deleted right after the save anyway,
// so a full card is not written twice; across file systems the bytes go in one kernel-side
// copy. A failed copy leaves no partial target behind. The new file and its folder are flushed
// before this returns (the staged copy may go right after), and in a root run the file is handed
// to the invoking user.
CopyResult CopyToNewFile(const std::string& source, const std::string& target);

// Copies n bytes at inOffset of in to outOffset of out. copy_file_range first: the kernel moves
// the bytes without passing them through this process, and on file systems that share blocks
// (XFS with reflinks, Btrfs) it shares them instead of writing. When the kernel refuses
// (EXDEV, EINVAL, ENOSYS, EOPNOTSUPP: files on different kinds of file system, a kernel or file
// system without the call) the bytes go by pread and pwrite. 0, or the errno of the failure
// (EIO when in ends first); copied tells how many bytes arrived either way.
int CopyFileBytes(int in, std::uint64_t inOffset, int out, std::uint64_t outOffset, std::uint64_t n,
                  std::uint64_t& copied);

// Tests: whether CopyFileBytes may ask the kernel (true, the default) or must take the read and
// write path, and how many bytes each path has moved since the process began.
void AllowKernelCopy(bool allowed);
struct CopyPathBytes {
    std::uint64_t kernel = 0;
    std::uint64_t readWrite = 0;
};
CopyPathBytes CopiedBytesByPath();

}  // namespace quorvane
