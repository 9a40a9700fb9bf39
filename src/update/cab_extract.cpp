#include "update/cab_extract.h"

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
    mscab_decompressor* d = mspack_create_cab_decompressor(nullptr);
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
    if (!ForceDirectories(folder)) return false;

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

bool CabExtract(const std::string& cabPath, const std::string& targetDir) {
    CabDecompressor cab;
    if (cab.d == nullptr) return false;
    mscabd_cabinet* cabinet = cab.d->open(cab.d, cabPath.c_str());
    if (cabinet == nullptr) return false;
    std::string folder = targetDir;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    bool all = true;
    for (mscabd_file* file = cabinet->files; file != nullptr; file = file->next)
        all = extractOne(cab.d, *file, folder) && all;
    cab.d->close(cab.d, cabinet);
    return all;
}

}  // namespace quorvane
