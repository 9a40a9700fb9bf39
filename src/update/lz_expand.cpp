#include "update/lz_expand.h"

#include "update/download_file.h"
#include "update/downloaded_names.h"

#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {
namespace {

struct SzddDecompressor {
    explicit SzddDecompressor(mspack_system* sys) : d(mspack_create_szdd_decompressor(sys)) {}
    msszdd_decompressor* d;
    ~SzddDecompressor() {
        if (d != nullptr) mspack_destroy_szdd_decompressor(d);
    }
};

}  // namespace

std::optional<std::string> ExpandLZFile(const std::string& compressedPath, const std::string& source,
                                        std::uint64_t maxBytes) {
    const std::string& data = source.empty() ? compressedPath : source;
    const bool apart = data != compressedPath;
    // A download read from its own place leaves nothing behind, whatever happens.
    auto fail = [&]() -> std::optional<std::string> {
        if (apart) ::unlink(data.c_str());
        return std::nullopt;
    };
    TCappedMspackSystem sys(maxBytes);
    SzddDecompressor lz(sys.get());
    if (lz.d == nullptr) return fail();
    msszddd_header* header = lz.d->open(lz.d, data.c_str());
    if (header != nullptr && (header->length < 0 || static_cast<std::uint64_t>(header->length) > maxBytes)) {
        lz.d->close(lz.d, header);
        return fail();
    }
    if (header == nullptr) {
        if (lz.d->last_error(lz.d) != MSPACK_ERR_SIGNATURE) return fail();
        // Not compressed: the file is its own expansion.
        if (apart && !CommitFile(data, compressedPath)) return fail();
        return compressedPath;
    }
    const std::string folder = FolderOf(compressedPath);
    const std::string name = ExpandedLZName(compressedPath.substr(folder.size()), header->missing_char);
    const std::string expanded = folder + name;

    auto temp = CreateTempFileIn(folder);
    if (!temp) {
        lz.d->close(lz.d, header);
        return fail();
    }
    temp->fd.reset();  // the decompressor writes the file by its name
    const int rc = lz.d->extract(lz.d, header, temp->path.c_str());
    const off_t expectedLength = header->length;
    lz.d->close(lz.d, header);
    // The decompressor stops quietly at the end of truncated data; the length in the header
    // tells a complete file from a cut one.
    struct stat st{};
    const bool complete = rc == MSPACK_ERR_OK && ::stat(temp->path.c_str(), &st) == 0 && st.st_size == expectedLength;
    if (!complete || !CommitFile(temp->path, expanded)) {
        ::unlink(temp->path.c_str());
        return fail();
    }
    if (apart) {
        ::unlink(data.c_str());
    } else if (expanded != compressedPath) {
        ::unlink(compressedPath.c_str());
    }
    return expanded;
}

}  // namespace quorvane
