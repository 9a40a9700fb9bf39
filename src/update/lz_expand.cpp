#include "update/lz_expand.h"

#include "update/download_file.h"
#include "update/downloaded_names.h"

#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {
namespace {

struct SzddDecompressor {
    msszdd_decompressor* d = mspack_create_szdd_decompressor(nullptr);
    ~SzddDecompressor() {
        if (d != nullptr) mspack_destroy_szdd_decompressor(d);
    }
};

}  // namespace

std::optional<std::string> ExpandLZFile(const std::string& compressedPath) {
    SzddDecompressor lz;
    if (lz.d == nullptr) return std::nullopt;
    msszddd_header* header = lz.d->open(lz.d, compressedPath.c_str());
    if (header == nullptr) {
        if (lz.d->last_error(lz.d) == MSPACK_ERR_SIGNATURE) return compressedPath;  // not compressed
        return std::nullopt;
    }
    const std::string folder = FolderOf(compressedPath);
    const std::string name = ExpandedLZName(compressedPath.substr(folder.size()), header->missing_char);
    const std::string expanded = folder + name;

    const auto temp = CreateTempFileIn(folder);
    if (!temp) {
        lz.d->close(lz.d, header);
        return std::nullopt;
    }
    ::close(temp->fd);
    const int rc = lz.d->extract(lz.d, header, temp->path.c_str());
    const off_t expectedLength = header->length;
    lz.d->close(lz.d, header);
    // The decompressor stops quietly at the end of truncated data; the length in the header
    // tells a complete file from a cut one.
    struct stat st{};
    const bool complete = rc == MSPACK_ERR_OK && ::stat(temp->path.c_str(), &st) == 0 && st.st_size == expectedLength;
    if (!complete || !CommitFile(temp->path, expanded)) {
        ::unlink(temp->path.c_str());
        return std::nullopt;
    }
    if (expanded != compressedPath) ::unlink(compressedPath.c_str());
    return expanded;
}

}  // namespace quorvane
