#pragma once
// The files a recovery creates for the files it copies off a card: never an existing file, never
// through a link, numbered when the name is taken.
#include <cstddef>
#include <cstdint>
#include <string>

#include "support/file_descriptor.h"

namespace quorvane {

// Whether a write failed because the disk or the user's quota is full.
bool IsDiskFull(int Error);

// Creates a file in Folder (ending in '/') under Name, or under a numbered variant
// ("NAME (2).JPG") when Name is taken; never opens an existing file or follows a link. Handed to
// the invoking user of a root run. The descriptor, or none with Error set; Path is the name tried
// last.
FileDescriptor CreateNewFile(const std::string& Folder, const std::string& Name, std::string& Path, int& Error);

// Writes Count bytes, going on after short writes. The bytes written; Error is set when a write
// failed.
std::size_t WriteAll(int Fd, const std::uint8_t* Data, std::size_t Count, int& Error);

}  // namespace quorvane
