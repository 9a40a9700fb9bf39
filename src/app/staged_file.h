#pragma once
// An output file of a recovery run, written through a large buffer so that carving sector by
// sector costs one system call per megabyte. Every failure is kept with its errno.
#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

class StagedFileWriter {
public:
    StagedFileWriter();
    ~StagedFileWriter();
    StagedFileWriter(const StagedFileWriter&) = delete;
    StagedFileWriter& operator=(const StagedFileWriter&) = delete;

    // Creates or truncates path. False on failure (see Error()).
    bool Create(const std::string& path);
    bool Write(const std::uint8_t* data, std::size_t n);
    // Flushes and closes; false when any write failed.
    bool Close();
    // Closes and deletes what was written (a failed file is never handed on).
    void Discard();

    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    int Errno() const { return errno_; }
    // "Cannot write /tmp/.../image3.JPG: No space left on device"
    std::string Error() const;

private:
    bool flush();

    int fd_ = -1;
    std::string path_;
    std::vector<std::uint8_t> buffer_;
    std::size_t used_ = 0;
    int errno_ = 0;
    const char* failedStep_ = "";
};

}  // namespace quorvane
