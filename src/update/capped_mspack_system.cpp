#include "update/capped_mspack_system.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace quorvane {
namespace {

struct CappedFile {
    std::FILE* file;
    TCappedMspackSystem* owner;
};

TCappedMspackSystem* ownerOf(mspack_system* self) { return reinterpret_cast<TCappedMspackSystem*>(self); }

mspack_file* openFile(mspack_system* self, const char* name, int mode) {
    const char* how = nullptr;
    switch (mode) {
        case MSPACK_SYS_OPEN_READ: how = "rb"; break;
        case MSPACK_SYS_OPEN_WRITE: how = "wb"; break;
        case MSPACK_SYS_OPEN_UPDATE: how = "r+b"; break;
        case MSPACK_SYS_OPEN_APPEND: how = "ab"; break;
        default: return nullptr;
    }
    std::FILE* f = std::fopen(name, how);
    if (f == nullptr) return nullptr;
    auto* file = new (std::nothrow) CappedFile{f, ownerOf(self)};
    if (file == nullptr) std::fclose(f);
    return reinterpret_cast<mspack_file*>(file);
}

CappedFile* fileOf(mspack_file* f) { return reinterpret_cast<CappedFile*>(f); }

void closeFile(mspack_file* f) {
    if (f == nullptr) return;
    std::fclose(fileOf(f)->file);
    delete fileOf(f);
}

int readFile(mspack_file* f, void* buffer, int bytes) {
    if (f == nullptr || buffer == nullptr || bytes < 0) return -1;
    const std::size_t n = std::fread(buffer, 1, static_cast<std::size_t>(bytes), fileOf(f)->file);
    return n == 0 && std::ferror(fileOf(f)->file) ? -1 : static_cast<int>(n);
}

int writeFile(mspack_file* f, void* buffer, int bytes) {
    if (f == nullptr || buffer == nullptr || bytes < 0) return -1;
    TCappedMspackSystem& owner = *fileOf(f)->owner;
    if (owner.written + static_cast<std::uint64_t>(bytes) > owner.cap) {
        owner.exceeded = true;
        return -1;
    }
    const std::size_t n = std::fwrite(buffer, 1, static_cast<std::size_t>(bytes), fileOf(f)->file);
    owner.written += n;
    return n == static_cast<std::size_t>(bytes) ? bytes : -1;
}

int seekFile(mspack_file* f, off_t offset, int mode) {
    if (f == nullptr) return -1;
    const int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR : SEEK_END;
    return ::fseeko(fileOf(f)->file, offset, whence) == 0 ? 0 : -1;
}

off_t tellFile(mspack_file* f) { return f == nullptr ? -1 : ::ftello(fileOf(f)->file); }

void message(mspack_file*, const char*, ...) {}  // damaged archives are reported by the result

void* allocate(mspack_system*, std::size_t bytes) { return std::malloc(bytes); }
void release(void* p) { std::free(p); }
void copy(void* src, void* dest, std::size_t bytes) { std::memmove(dest, src, bytes); }

}  // namespace

TCappedMspackSystem::TCappedMspackSystem(std::uint64_t maxBytes)
    : sys{openFile, closeFile, readFile, writeFile, seekFile, tellFile, message, allocate, release, copy, nullptr},
      cap(maxBytes) {}

}  // namespace quorvane
