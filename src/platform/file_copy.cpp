#include "platform/file_copy.h"

#include "platform/invoking_user.h"
#include "support/file_descriptor.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorvane {
namespace {

std::atomic<bool> kernelCopyAllowed{true};
std::atomic<std::uint64_t> kernelBytes{0};
std::atomic<std::uint64_t> readWriteBytes{0};

// The most one copy_file_range call is asked for: the kernel caps a call near 2 GiB anyway, and
// smaller calls keep a cancelled save from waiting long.
constexpr std::uint64_t KernelChunkBytes = std::uint64_t{1} << 30;
constexpr std::size_t ReadWriteChunkBytes = std::size_t{1} << 20;

CopyResult failure(const char* what, const std::string& path, int err) {
    return {CopyStatus::Failed, std::string(what) + " " + path + ": " + std::strerror(err)};
}

int syncNoEintr(int fd) {
    int r = 0;
    do {
        r = ::fsync(fd);
    } while (r != 0 && errno == EINTR);
    return r == 0 ? 0 : errno;
}

// Makes the new name and its bytes durable: the staged copy is deleted right after a save, so a
// crash or a pulled drive must not find the saved file empty or missing. 0, or an errno value.
int syncFileAndFolder(const std::string& target, int fd) {
    if (const int err = syncNoEintr(fd); err != 0) return err;
    const auto slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return errno;
    const int err = syncNoEintr(dir.get());
    // Some file systems cannot sync a folder; the file itself is safe then.
    return err == EINVAL || err == EROFS ? 0 : err;
}

// The saved file, as the last step: handed to the user of a root run, then flushed with its folder.
CopyResult finishSaved(const std::string& target, int fd) {
    HandToInvokingUser(target);
    if (const int err = syncFileAndFolder(target, fd); err != 0) return failure("Cannot write", target, err);
    return {CopyStatus::Done, {}};
}

// Whether the kernel said that it cannot copy between these two files at all, as opposed to an
// I/O error that the read and write path would meet as well.
bool KernelCannotCopy(int err) { return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP; }

// The read and write path, for what the kernel did not copy.
int CopyByReadWrite(int in, std::uint64_t inOffset, int out, std::uint64_t outOffset, std::uint64_t n,
                    std::uint64_t& copied) {
    std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(n, ReadWriteChunkBytes)));
    while (copied < n) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(n - copied, buffer.size()));
        const ssize_t got = ::pread(in, buffer.data(), want, static_cast<off_t>(inOffset + copied));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno;
        if (got == 0) return EIO;
        std::size_t put = 0;
        while (put < static_cast<std::size_t>(got)) {
            const ssize_t w = ::pwrite(out, buffer.data() + put, static_cast<std::size_t>(got) - put,
                                       static_cast<off_t>(outOffset + copied + put));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return w < 0 ? errno : ENOSPC;
            put += static_cast<std::size_t>(w);
        }
        copied += put;
        readWriteBytes += put;
    }
    return 0;
}

}  // namespace

void AllowKernelCopy(bool allowed) { kernelCopyAllowed = allowed; }

CopyPathBytes CopiedBytesByPath() { return {kernelBytes.load(), readWriteBytes.load()}; }

int CopyFileBytes(int in, std::uint64_t inOffset, int out, std::uint64_t outOffset, std::uint64_t n,
                  std::uint64_t& copied) {
    copied = 0;
    bool kernel = kernelCopyAllowed.load();
    while (kernel && copied < n) {
        auto from = static_cast<loff_t>(inOffset + copied);
        auto to = static_cast<loff_t>(outOffset + copied);
        const auto want = static_cast<std::size_t>(std::min(n - copied, KernelChunkBytes));
        const ssize_t moved = ::copy_file_range(in, &from, out, &to, want, 0);
        if (moved < 0 && errno == EINTR) continue;
        if (moved < 0 && KernelCannotCopy(errno)) break;
        if (moved < 0) return errno;
        if (moved == 0) return EIO;  // the source ended before n bytes
        copied += static_cast<std::uint64_t>(moved);
        kernelBytes += static_cast<std::uint64_t>(moved);
    }
    if (copied == n) return 0;
    std::uint64_t rest = 0;
    const int err = CopyByReadWrite(in, inOffset + copied, out, outOffset + copied, n - copied, rest);
    copied += rest;
    return err;
}

CopyResult CopyToNewFile(const std::string& source, const std::string& target) {
    if (::link(source.c_str(), target.c_str()) == 0) {
        const FileDescriptor linked(::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        CopyResult result = linked ? finishSaved(target, linked.get()) : failure("Cannot write", target, errno);
        // The staged copy stays for a save that failed, so the new name goes again.
        if (result.status != CopyStatus::Done) ::unlink(target.c_str());
        return result;
    }
    if (errno == EEXIST) return {CopyStatus::TargetExists, {}};

    const FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in) return failure("Cannot read", source, errno);
    FileDescriptor out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!out) {
        const int err = errno;
        if (err == EEXIST) return {CopyStatus::TargetExists, {}};
        return failure("Cannot create", target, err);
    }
    struct stat st{};
    int err = ::fstat(in.get(), &st) == 0 ? 0 : errno;
    std::uint64_t copied = 0;
    if (err == 0 && st.st_size > 0) {
        err = CopyFileBytes(in.get(), 0, out.get(), 0, static_cast<std::uint64_t>(st.st_size), copied);
    }
    CopyResult result{CopyStatus::Done, {}};
    if (err == 0) {
        result = finishSaved(target, out.get());
        if (result.status != CopyStatus::Done) err = EIO;
    }
    if (out.close() != 0 && err == 0) {
        err = errno;
        result = failure("Cannot write", target, err);
    }
    if (err != 0) {
        ::unlink(target.c_str());
        return result.status != CopyStatus::Done ? result : failure("Cannot write", target, err);
    }
    return result;
}

}  // namespace quorvane
