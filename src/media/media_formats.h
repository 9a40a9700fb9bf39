#pragma once
// The program's one table of media formats. Every list of formats is derived from it: the
// media extensions in their three written forms (filedet.h), the file signature test IsFile,
// the scan method's start test IsFileStart (both in the order the rows' ranks give), and which
// staged files the preview shows as pictures and with which decoder.
//
// Adding a format is adding one row. A rule's rank places it among the rules of its kind from
// every row: the lower rank is tried first and the first rule that matches decides, so a rule
// that could also match another format's files must rank before the looser one. Ranks step by
// ten to leave room in between.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "media/content_check.h"
#include "media/file_end.h"
#include "media/format_bytes.h"
#include "media/recoverutils.h"

namespace quorvane {

// A file signature test: true when the first bytes of a file are this format's.
using SignatureTest = bool (*)(const LeadingBytes& bytes);
// A scan start test: true when a file of this format starts in the sector. It may read fixed
// offsets below MinTestedSectorBytes whatever size says (the scan's buffer always has them), and
// beyond that only below size, the drive's bytes per sector.
using StartTest = bool (*)(const std::uint8_t* sector, std::int32_t size);

struct SignatureRule {
    int rank = 0;
    SignatureTest test = nullptr;  // nullptr: no rule
};

struct StartRule {
    int rank = 0;
    StartTest test = nullptr;  // nullptr: no rule
};

// How the preview shows a staged file of this format.
enum class ThumbnailKind : std::uint8_t {
    TypeLabel,    // no picture: the slot shows "<type> File"
    Jpeg,         // libjpeg, scaled down while decoding
    ImageReader,  // the toolkit's own image readers
    Wmf,          // Windows metafile, drawn through SVG
    Emf,          // enhanced metafile, drawn through SVG
    Heif,         // HEIF, HEIC and AVIF through libheif: the file's own thumbnail, else its primary image
};

struct MediaFormat {
    std::string_view extension;  // upper case, no dot, as the tests give it: "JPG"
    std::string_view kind;       // what such a file holds: "JPEG picture"
    // A file named with this extension is a media file: it is one of MediaExtensions, the folder
    // method recovers it and the scan driver saves it.
    bool listed = false;
    // Rules of the file signature test IsFile; at most two per format.
    std::array<SignatureRule, 2> signature{};
    // Rules of the scan method's start test IsFileStart; at most two per format.
    std::array<StartRule, 2> start{};
    ThumbnailKind thumbnail = ThumbnailKind::TypeLabel;
    // The first bytes by which the preview picks this format's decoder whatever the file is
    // named; nullptr leaves the file to the toolkit's readers, which look at the bytes themselves.
    SignatureTest thumbnailSignature = nullptr;
    // Where a recovered file of this format ends (file_end.h).
    EndRule end = EndRule::SizeLimit;
    // What a recovered file of this format is checked for once saved (content_check.h).
    ContentCheck check = ContentCheck::None;
};

// The rows of the listed formats come first, in the order in which users see the extensions.
inline constexpr auto MediaFormats = std::to_array<MediaFormat>({
    {.extension = "JPG",
     .kind = "JPEG picture",
     .listed = true,
     // Any marker after the start of image.
     .signature = {{{10, [](const LeadingBytes& b) { return b.BytesAre(0, "\xFF\xD8"); }}}},
     // A JFIF (E0) or Exif (E1) segment first: what cameras write.
     .start = {{{10, [](const std::uint8_t* s, std::int32_t) {
                     return s[0] == 0xFF && s[1] == 0xD8 && s[2] == 0xFF && (s[3] == 0xE0 || s[3] == 0xE1);
                 }}}},
     .thumbnail = ThumbnailKind::Jpeg,
     .thumbnailSignature = [](const LeadingBytes& b) { return b.Size() > 3 && b.BytesAre(0, "\xFF\xD8"); }},
    {.extension = "JPEG", .kind = "JPEG picture", .listed = true, .thumbnail = ThumbnailKind::Jpeg},
    {.extension = "CRW",
     .kind = "Canon raw picture",
     .listed = true,
     .signature = {{{40, [](const LeadingBytes& b) { return b.HasTiffByteOrder() && b.BytesAre(6, "HEAPCCDR"); }},
                    // Raw files of this camera are TIFF-based and carry the model name here.
                    {50, [](const LeadingBytes& b) { return b.BytesAre(250, "Canon EOS-1D"); }}}},
     .start = {{{20, [](const std::uint8_t* s, std::int32_t) {
                     return SectorHasTiffByteOrder(s) && SectorBytesAre(s, 6, "HEAPCCDR");
                 }},
                // The maker name may also sit inside another file, which then ends at this sector.
                {30, [](const std::uint8_t* s, std::int32_t) { return SectorBytesAre(s, 250, "Canon"); }}}}},
    {.extension = "BMP",
     .kind = "Windows bitmap",
     .listed = true,
     .signature = {{{20, [](const LeadingBytes& b) { return b.BytesAre(0, "BM"); }}}},
     // The reserved fields are zero in every bitmap written.
     .start = {{{40, [](const std::uint8_t* s, std::int32_t) {
                     return SectorBytesAre(s, 0, "BM") && SectorBytesAre(s, 6, "\0\0\0\0");
                 }}}},
     .thumbnail = ThumbnailKind::ImageReader},
    {.extension = "GIF",
     .kind = "GIF picture",
     .listed = true,
     .signature = {{{30, [](const LeadingBytes& b) {
                         return b.BytesAre(0, "GIF8") && (b.ByteIs(4, '9') || b.ByteIs(4, '7')) && b.ByteIs(5, 'a');
                     }}}},
     .start = {{{50, [](const std::uint8_t* s, std::int32_t) {
                     return SectorBytesAre(s, 0, "GIF8") && (s[4] == '9' || s[4] == '7') && s[5] == 'a';
                 }}}},
     .thumbnail = ThumbnailKind::ImageReader},
    {.extension = "PNG",
     .kind = "PNG picture",
     .listed = true,
     .signature = {{{100, [](const LeadingBytes& b) { return b.BytesAre(0, "\x89PNG\r\n\x1A\n"); }}}},
     .start = {{{60, [](const std::uint8_t* s, std::int32_t) { return SectorBytesAre(s, 0, "\x89PNG\r\n\x1A\n"); }}}},
     .thumbnail = ThumbnailKind::ImageReader},
    {.extension = "WAV",
     .kind = "RIFF WAVE sound",
     .listed = true,
     .signature = {{{120, [](const LeadingBytes& b) { return b.BytesAre(0, "RIFF") && b.BytesAre(8, "WAVE"); }}}},
     .start = {{{70, [](const std::uint8_t* s, std::int32_t) {
                     return SectorBytesAre(s, 0, "RIFF") && SectorBytesAre(s, 8, "WAVE");
                 }}}}},
    {.extension = "AVI",
     .kind = "RIFF AVI film",
     .listed = true,
     .signature = {{{130, [](const LeadingBytes& b) { return b.BytesAre(0, "RIFF") && b.BytesAre(8, "AVI "); }}}},
     // Byte 11 is not looked at: AVIX extension chunks start here too.
     .start = {{{80, [](const std::uint8_t* s, std::int32_t) {
                     return SectorBytesAre(s, 0, "RIFF") && SectorBytesAre(s, 8, "AVI");
                 }}}}},
    {.extension = "RIFF",
     .kind = "other RIFF file",
     .listed = true,
     .signature = {{{140, [](const LeadingBytes& b) { return b.BytesAre(0, "RIFF"); }}}},
     .start = {{{90, [](const std::uint8_t* s, std::int32_t) { return SectorBytesAre(s, 0, "RIFF"); }}}}},
    {.extension = "MOV",
     .kind = "QuickTime film",
     .listed = true,
     .signature = {{{160, [](const LeadingBytes& b) { return b.BytesAre(4, "moov"); }}}},
     .start = {{{100, [](const std::uint8_t* s, std::int32_t) { return SectorBytesAre(s, 4, "moov"); }}}}},
    {.extension = "NEF",
     .kind = "Nikon raw picture",
     .listed = true,
     .signature = {{{60, [](const LeadingBytes& b) { return b.HasTiffByteOrder() && b.BytesAre(352, "NIKON"); }},
                    {70, [](const LeadingBytes& b) { return b.HasTiffByteOrder() && b.BytesAre(484, "NIKON"); }}}},
     .start = {{{110, [](const std::uint8_t* s, std::int32_t) {
                     return SectorHasTiffByteOrder(s) && SectorBytesAre(s, 352, "NIKON");
                 }},
                {120, [](const std::uint8_t* s, std::int32_t) {
                     return SectorHasTiffByteOrder(s) && SectorBytesAre(s, 484, "NIKON");
                 }}}}},
    {.extension = "MRW",
     .kind = "MRW raw picture",
     .listed = true,
     // Byte 0 is not looked at.
     .signature = {{{80, [](const LeadingBytes& b) { return b.BytesAre(1, "MRM"); }}}},
     .start = {{{130, [](const std::uint8_t* s, std::int32_t) { return SectorBytesAre(s, 1, "MRM"); }}}}},
    {.extension = "DCR",
     .kind = "Kodak raw picture",
     .listed = true,
     .start = {{{140, [](const std::uint8_t* s, std::int32_t size) {
                     return SectorHasTiffHeader(s) && ContainsText(s, size, "Kodak");
                 }}}}},
    {.extension = "RAF",
     .kind = "Fuji raw picture",
     .listed = true,
     .start = {{{150, [](const std::uint8_t* s, std::int32_t size) {
                     return SectorHasTiffHeader(s) && SectorContainsFuji(s, size);
                 }}}}},
    {.extension = "TIF",
     .kind = "TIFF picture",
     .listed = true,
     .signature = {{{90, [](const LeadingBytes& b) {
                         return b.BytesAre(0, "II\x2A\x00") || b.BytesAre(0, "MM\x00\x2A");
                     }}}},
     .start = {{{160, [](const std::uint8_t* s, std::int32_t) { return SectorHasTiffHeader(s); }}}},
     // Qt's TIFF reader, from the image format plugins.
     .thumbnail = ThumbnailKind::ImageReader},
    {.extension = "TIFF", .kind = "TIFF picture", .listed = true, .thumbnail = ThumbnailKind::ImageReader},
    {.extension = "PCX", .kind = "PCX picture", .listed = true},

    // Named by IsFile, but no media files: a lost file of these types is made, not saved.
    {.extension = "CDR",
     .kind = "CorelDRAW drawing",
     .signature = {{{110, [](const LeadingBytes& b) { return b.BytesAre(0, "RIFF") && b.BytesAre(8, "CDR"); }}}}},
    {.extension = "MID",
     .kind = "standard MIDI file",
     .signature = {{{150, [](const LeadingBytes& b) { return b.BytesAre(0, "MThd"); }}}}},

    // Never recovered, but shown as pictures when staged.
    {.extension = "ICO", .kind = "Windows icon", .thumbnail = ThumbnailKind::ImageReader},
    {.extension = "WMF",
     .kind = "Windows metafile",
     .thumbnail = ThumbnailKind::Wmf,
     // With a placeable header (D7 CD C6 9A) or without one (type 1 or 2, header of 9 words).
     .thumbnailSignature = [](const LeadingBytes& b) {
         return b.Size() >= 18 && (b.BytesAre(0, "\xD7\xCD\xC6\x9A") || ((b.ByteIs(0, 1) || b.ByteIs(0, 2)) &&
                                                                        b.BytesAre(1, "\x00\x09\x00")));
     }},
    {.extension = "EMF",
     .kind = "enhanced metafile",
     .thumbnail = ThumbnailKind::Emf,
     // Record type 1 (the header) with the " EMF" signature at 40.
     .thumbnailSignature = [](const LeadingBytes& b) {
         return b.Size() >= 88 && b.BytesAre(0, "\x01\x00\x00\x00") && b.BytesAre(40, " EMF");
     }},
});

// The row of an extension given without its dot, a-z matched in either case; nullptr when no
// row has it.
const MediaFormat* FindMediaFormat(std::string_view extension);

// Which decoder the preview gives a file, by its first bytes: the first row whose thumbnail
// signature matches, or the toolkit's readers when none does.
ThumbnailKind ThumbnailKindOfContent(std::span<const std::uint8_t> bytes);

}  // namespace quorvane
