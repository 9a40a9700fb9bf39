#pragma once
// An output file of a recovery run. Sectors are appended by reference: consecutive sectors of
// the caller's read buffer collect into one run that goes out in a single write, so carving
// costs neither a copy nor a system call per sector. Every failure is kept with its errno.
#include "support/file_descriptor.h"

#include <cstdint>
#include <string>

namespace quorvane {

class StagedFileWriter {
public:
    StagedFileWriter() = default;
    ~StagedFileWriter();
    StagedFileWriter(const StagedFileWriter&) = delete;
    StagedFileWriter& operator=(const StagedFileWriter&) = delete;

    // Creates or truncates path. False on failure (see Error()).
    bool Create(const std::string& path);
    // Queues n bytes at data. The bytes must stay unchanged until the next Flush, Close or
    // Append of bytes that do not follow them. False when writing earlier bytes failed.
    bool Append(const std::uint8_t* data, std::size_t n);
    // Writes what is queued; call it before the caller's buffer is reused.
    bool Flush();
    // Flushes and cuts the file to size bytes (a carved file whose end came out shorter than what
    // was written). False when a write or the cut failed.
    bool TruncateTo(std::uint64_t size);
    // Flushes and closes; false when any write failed.
    bool Close();
    // Closes and deletes what was written (a failed file is never handed on).
    void Discard();

    bool IsOpen() const { return fd_.valid(); }
    bool Failed() const { return errno_ != 0; }
    const std::string& Path() const { return path_; }
    // "Cannot write /tmp/.../image3.JPG: No space left on device"
    std::string Error() const;

private:
    FileDescriptor fd_;
    std::string path_;
    const std::uint8_t* pending_ = nullptr;
    std::size_t pendingBytes_ = 0;
    int errno_ = 0;
    const char* failedStep_ = "";
};

}  // namespace quorvane
