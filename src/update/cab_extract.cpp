#include "update/cab_extract.h"

#include "update/confined_path.h"
#include "update/download_file.h"
#include "update/downloaded_names.h"

#include <ctime>
#include <fcntl.h>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {
namespace {

struct CabDecompressor {
    explicit CabDecompressor(mspack_system* sys) : d(mspack_create_cab_decompressor(sys)) {}
    mscab_decompressor* d;
    ~CabDecompressor() {
        if (d != nullptr) mspack_destroy_cab_decompressor(d);
    }
};

// Cabinets store local time, as the file dates of the FAT volumes they were made on.
void setStoredDate(const std::string& path, const mscabd_file& file) {
    std::tm t{};
    t.tm_year = file.date_y - 1900;
    t.tm_mon = file.date_m - 1;
    t.tm_mday = file.date_d;
    t.tm_hour = file.time_h;
    t.tm_min = file.time_m;
    t.tm_sec = file.time_s;
    t.tm_isdst = -1;
    const std::time_t when = std::mktime(&t);
    if (when == static_cast<std::time_t>(-1)) return;
    const timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

bool extractOne(mscab_decompressor* d, mscabd_file& file, const std::string& targetDir) {
    const std::string stored = (file.attribs & MSCAB_ATTRIB_UTF_NAME) != 0 ? std::string(file.filename)
                                                                         : Windows1252ToUtf8(file.filename);
    const std::string relative = SafeRelativePath(stored);
    if (relative.empty()) return false;
    const std::string target = targetDir + relative;
    const std::string folder = FolderOf(target);
    // The target folder is taken as given; the cabinet's own subfolders are made below it
    // without following a link.
    if (!ForceDirectories(targetDir) || !MakeFoldersBelow(targetDir, folder.substr(targetDir.size()))) return false;

    auto temp = CreateTempFileIn(folder);
    if (!temp) return false;
    temp->fd.reset();  // the decompressor writes the file by its name
    if (d->extract(d, &file, temp->path.c_str()) != MSPACK_ERR_OK) {
        ::unlink(temp->path.c_str());
        return false;
    }
    setStoredDate(temp->path, file);
    if (!CommitFile(temp->path, target)) {
        ::unlink(temp->path.c_str());
        return false;
    }
    return true;
}

}  // namespace

bool CabExtract(const std::string& cabPath, const std::string& targetDir, std::uint64_t maxBytes) {
    TCappedMspackSystem sys(maxBytes);
    CabDecompressor cab(sys.get());
    if (cab.d == nullptr) return false;
    mscabd_cabinet* cabinet = cab.d->open(cab.d, cabPath.c_str());
    if (cabinet == nullptr) return false;
    std::string folder = targetDir;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    // What the cabinet says it holds decides before anything is written; the counting writes
    // catch a cabinet whose data says otherwise.
    std::uint64_t declared = 0;
    for (const mscabd_file* file = cabinet->files; file != nullptr; file = file->next)
        declared += static_cast<std::uint32_t>(file->length);
    if (declared > maxBytes) {
        cab.d->close(cab.d, cabinet);
        return false;
    }
    bool all = true;
    for (mscabd_file* file = cabinet->files; file != nullptr; file = file->next)
        all = extractOne(cab.d, *file, folder) && all;
    cab.d->close(cab.d, cabinet);
    return all;
}

}  // namespace quorvane
