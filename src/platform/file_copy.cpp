#include "platform/file_copy.h"

#include "platform/invoking_user.h"
#include "support/file_descriptor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {
namespace {

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

}  // namespace

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
    off_t left = err == 0 ? st.st_size : 0;
    while (err == 0 && left > 0) {
        const ssize_t sent = ::sendfile(out.get(), in.get(), nullptr, static_cast<std::size_t>(left));
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) {
            err = sent < 0 ? errno : EIO;
            break;
        }
        left -= sent;
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
