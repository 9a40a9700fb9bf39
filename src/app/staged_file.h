#pragma once
// An output file of a recovery run. Sectors are appended by reference: consecutive sectors of
// the caller's read buffer collect into one run that goes out in a single write, so carving
// costs neither a copy nor a system call per sector. When the drive is an image file, sectors
// appended with their place on the volume are not written from the buffer at all: consecutive
// ones collect into one extent that the kernel copies from the image (sharing its blocks where
// the file system can). Every failure is kept with its errno.
#include "platform/image_source.h"
#include "support/file_descriptor.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quorvane {

class StagedFileWriter {
public:
    StagedFileWriter() = default;
    ~StagedFileWriter();
    StagedFileWriter(const StagedFileWriter&) = delete;
    StagedFileWriter& operator=(const StagedFileWriter&) = delete;

    // Creates or truncates path. With an image, bytes appended with their volume offset are
    // copied from it. False on failure (see Error()).
    bool Create(const std::string& path, std::shared_ptr<const ImageSource> image = nullptr);
    // Queues n bytes at data. The bytes must stay unchanged until the next Flush, Close or
    // Append of bytes that do not follow them. False when writing earlier bytes failed.
    bool Append(const std::uint8_t* data, std::size_t n);
    // The same n bytes, known to lie at volumeOffset of the drive: with an image they are copied
    // from there when the file is closed or the run of bytes breaks, and data is not kept.
    bool Append(const std::uint8_t* data, std::size_t n, std::uint64_t volumeOffset);
    // Writes what is queued from the caller's buffer; call it before that buffer is reused.
    bool Flush();
    // Cuts the file to size bytes (a carved file whose end came out shorter than what was
    // appended); bytes past it are never written. False when a write or the cut failed.
    bool TruncateTo(std::uint64_t size);
    // Writes and copies what is queued and closes; false when any write failed.
    bool Close();
    // Closes and deletes what was written (a failed file is never handed on).
    void Discard();

    bool IsOpen() const { return fd_.valid(); }
    bool Failed() const { return errno_ != 0; }
    const std::string& Path() const { return path_; }
    // "Cannot write /tmp/.../image3.JPG: No space left on device"
    std::string Error() const;

private:
    // Copies the queued extent from the image.
    bool CopyExtent();
    void Fail(int err);

    FileDescriptor fd_;
    std::shared_ptr<const ImageSource> image_;
    std::string path_;
    std::uint64_t written_ = 0;  // bytes in the file so far, and where the next ones go
    const std::uint8_t* pending_ = nullptr;
    std::size_t pendingBytes_ = 0;
    std::uint64_t extentOffset_ = 0;  // volume offset of the queued extent
    std::uint64_t extentBytes_ = 0;
    int errno_ = 0;
    const char* failedStep_ = "";
};

}  // namespace quorvane
