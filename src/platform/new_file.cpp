#include "platform/new_file.h"

#include "platform/invoking_user.h"
#include "support/host_file_names.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace quorvane {

namespace {

// Names tried before giving up on one file: "NAME.JPG", "NAME (2).JPG", ... "NAME (100000).JPG".
constexpr std::uint32_t MaxNameTries = 100'000;

}  // namespace

bool IsDiskFull(int Error) { return Error == ENOSPC || Error == EDQUOT; }

FileDescriptor CreateNewFile(const std::string& Folder, const std::string& Name, std::string& Path, int& Error) {
    for (std::uint32_t n = 1; n <= MaxNameTries; ++n) {
        Path = Folder + (n == 1 ? Name : NumberedFileName(Name, n));
        FileDescriptor fd(::open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (fd) {
            HandToInvokingUser(Path);
            return fd;
        }
        if (errno != EEXIST) {
            Error = errno;
            return {};
        }
    }
    Error = EEXIST;
    return {};
}

std::size_t WriteAll(int Fd, const std::uint8_t* Data, std::size_t Count, int& Error) {
    std::size_t written = 0;
    while (written < Count) {
        const ssize_t n = ::write(Fd, Data + written, Count - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            Error = errno;
            break;
        }
        if (n == 0) {
            Error = EIO;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    return written;
}

}  // namespace quorvane
