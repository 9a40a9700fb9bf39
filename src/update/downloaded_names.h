#pragma once
// Names that arrive with downloads (the last part of an address, the names stored in a
// cabinet, the last character kept in an LZ header) are untrusted: whatever they hold, the
// files they name stay inside their target folder.
#include <string>
#include <string_view>

namespace quorvane {

// A single file name made safe: control characters and separators are dropped; "", "." and
// ".." give "" (no usable name).
std::string SafeFileName(std::string_view name);

// The file name of an address: the part after its last slash or backslash, without a query
// ("?...") or fragment ("#..."), made safe. "" when the address names no file.
std::string URLtoFile(std::string_view url);

// A relative path inside a cabinet ("sub\dir\file.txt") as a safe local relative path
// ("sub/dir/file.txt"): empty and "." parts are dropped; a ".." part, or a part that is not a
// safe name, makes the whole path "" so that the entry is not extracted.
std::string SafeRelativePath(std::string_view storedPath);

// 8-bit text in the Windows-1252 code page as UTF-8 (the bytes that code page leaves
// undefined become U+FFFD).
std::string Windows1252ToUtf8(std::string_view text);

// The name of an expanded LZ (SZDD) file. A compressed file's name ends in '_' where the last
// character stood; the header keeps that character (in any case; the name's own case wins) or
// 0 when it was not kept, as for "name.txt_", made by appending the '_'. A character that could
// not be part of a safe name counts as not kept. A name without the '_' stays as it is.
std::string ExpandedLZName(std::string_view compressedName, char missingChar);

// The extension of a file name in upper case with its dot (".CAB"), "" when it has none.
std::string UpperExtension(std::string_view fileName);

}  // namespace quorvane
