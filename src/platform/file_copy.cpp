#include "platform/file_copy.h"

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

}  // namespace

CopyResult CopyToNewFile(const std::string& source, const std::string& target) {
    if (::link(source.c_str(), target.c_str()) == 0) return {CopyStatus::Done, {}};
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
    if (out.close() != 0 && err == 0) err = errno;
    if (err != 0) {
        ::unlink(target.c_str());
        return failure("Cannot write", target, err);
    }
    return {CopyStatus::Done, {}};
}

}  // namespace quorvane
