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
#include "media/iso_file_type.h"
#include "media/jpeg_first_segment.h"
#include "media/recoverutils.h"
#include "media/tiff_ifd0.h"

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
    // A few byte compares that every start of the rule has, when test does more (calls a reader
    // of the structure): the rule matches when gate and then test hold. The scan tries the gate
    // in its inline chain and the test out of line, which keeps the chain fast on sectors that
    // match nothing. nullptr: test alone, inline.
    StartTest gate = nullptr;
};

// How the preview shows a staged file of this format.
enum class ThumbnailKind : std::uint8_t {
    TypeLabel,    // no picture: the slot shows "<type> File"
    Jpeg,         // libjpeg, scaled down while decoding
    ImageReader,  // the toolkit's reader of this one format, named by the extension in lower case
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
    // Rules of the file signature test IsFile; at most three per format.
    std::array<SignatureRule, 3> signature{};
    // Rules of the scan method's start test IsFileStart; at most three per format.
    std::array<StartRule, 3> start{};
    ThumbnailKind thumbnail = ThumbnailKind::TypeLabel;
    // The first bytes by which the preview picks this format's decoder whatever the file is
    // named. A file whose bytes match no row's is not decoded at all, so a decoder only ever sees
    // the kind of data it was chosen for.
    SignatureTest thumbnailSignature = nullptr;
    // Where a recovered file of this format ends (file_end.h).
    EndRule end = EndRule::SizeLimit;
    // What a recovered file of this format is checked for once saved (content_check.h).
    ContentCheck check = ContentCheck::None;
};

namespace media_formats_detail {

// The gates of the start rules that read a structure.
inline bool SectorHasJpegStart(const std::uint8_t* s, std::int32_t) { return SectorBytesAre(s, 0, "\xFF\xD8\xFF"); }
inline bool SectorHasFileTypeBox(const std::uint8_t* s, std::int32_t) { return SectorBytesAre(s, 4, "ftyp"); }
// The rules on TIFF-like headers look at the byte-order mark first, byte by byte as the older
// rules do: the compiler then turns a sector away from all of them by the one compare of byte 0.
inline bool SectorHasTiffHeaderGate(const std::uint8_t* s, std::int32_t) {
    return SectorHasTiffByteOrder(s) && SectorHasTiffHeader(s);
}

// The rules of the ISO base media rows: the start rule behind the gate SectorHasFileTypeBox.
template <IsoFileKind Kind>
bool IsoSectorIs(const std::uint8_t* s, std::int32_t size) {
    return IsoFileKindOf(s, SectorSpan(size)) == Kind;
}
template <IsoFileKind Kind>
bool IsoBytesAre(const LeadingBytes& b) {
    return b.BytesAre(4, "ftyp") && IsoFileKindOf(b.Data(), b.Size()) == Kind;
}
template <IsoFileKind Kind>
constexpr StartRule IsoStart(int rank) {
    return {rank, IsoSectorIs<Kind>, SectorHasFileTypeBox};
}
template <IsoFileKind Kind>
constexpr SignatureRule IsoSignature(int rank) {
    return {rank, IsoBytesAre<Kind>};
}

// HEIC, HEIF and AVIF pictures: libheif draws them, whatever they are named.
inline bool IsHeifPicture(const LeadingBytes& b) {
    const IsoFileKind kind = IsoFileKindOf(b.Data(), b.Size());
    return kind == IsoFileKind::Heic || kind == IsoFileKind::Heif || kind == IsoFileKind::Avif;
}

// The rules of the raw formats named by IFD0's Make; the start rule behind the gate
// SectorHasTiffHeaderGate.
inline bool TiffRawSectorOf(const std::uint8_t* s, std::int32_t size, std::string_view maker) {
    return IsTiffRawOfMaker(s, SectorSpan(size), maker);
}
inline bool TiffRawBytesOf(const LeadingBytes& b, std::string_view maker) {
    return (b.BytesAre(0, "II\x2A\x00") || b.BytesAre(0, "MM\x00\x2A")) && IsTiffRawOfMaker(b.Data(), b.Size(), maker);
}
// Pentax bodies made since Ricoh bought the maker give Ricoh's name.
inline bool IsPentaxRaw(const std::uint8_t* bytes, std::size_t size) {
    const TiffIfd0 ifd = ReadTiffIfd0(bytes, size);
    return ifd.rawLayout && (ifd.MakeStartsWith("PENTAX") || ifd.MakeStartsWith("RICOH IMAGING"));
}

// The headers of Olympus (two of them, and one in Motorola order) and Panasonic raw files.
inline bool SectorHasOlympusHeader(const std::uint8_t* s) {
    return SectorHasTiffByteOrder(s) &&
           (SectorBytesAre(s, 0, "IIRO") || SectorBytesAre(s, 0, "IIRS") || SectorBytesAre(s, 0, "MMOR"));
}

}  // namespace media_formats_detail

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
                 }},
                // Any other segment a picture begins with (quantisation tables, a frame header,
                // APP2 to APP15, a comment...), its length fitting the marker.
                {11,
                 [](const std::uint8_t* s, std::int32_t size) {
                     return JpegFirstSegmentIsPlausible(s, SectorSpan(size));
                 },
                 media_formats_detail::SectorHasJpegStart}}},
     .thumbnail = ThumbnailKind::Jpeg,
     .thumbnailSignature = [](const LeadingBytes& b) { return b.Size() > 3 && b.BytesAre(0, "\xFF\xD8"); },
     .end = EndRule::Jpeg,
     .check = ContentCheck::JpegDecode},
    {.extension = "JPEG",
     .kind = "JPEG picture",
     .listed = true,
     .thumbnail = ThumbnailKind::Jpeg,
     .end = EndRule::Jpeg,
     .check = ContentCheck::JpegDecode},
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
     .thumbnail = ThumbnailKind::ImageReader,
     .thumbnailSignature = [](const LeadingBytes& b) { return b.Size() >= 26 && b.BytesAre(0, "BM"); },
     .end = EndRule::Bmp,
     .check = ContentCheck::BmpHeader},
    {.extension = "GIF",
     .kind = "GIF picture",
     .listed = true,
     .signature = {{{30, [](const LeadingBytes& b) {
                         return b.BytesAre(0, "GIF8") && (b.ByteIs(4, '9') || b.ByteIs(4, '7')) && b.ByteIs(5, 'a');
                     }}}},
     .start = {{{50, [](const std::uint8_t* s, std::int32_t) {
                     return SectorBytesAre(s, 0, "GIF8") && (s[4] == '9' || s[4] == '7') && s[5] == 'a';
                 }}}},
     .thumbnail = ThumbnailKind::ImageReader,
     .thumbnailSignature = [](const LeadingBytes& b) {
         return b.BytesAre(0, "GIF8") && (b.ByteIs(4, '9') || b.ByteIs(4, '7')) && b.ByteIs(5, 'a');
     },
     .end = EndRule::Gif,
     .check = ContentCheck::GifBlocks},
    {.extension = "PNG",
     .kind = "PNG picture",
     .listed = true,
     .signature = {{{100, [](const LeadingBytes& b) { return b.BytesAre(0, "\x89PNG\r\n\x1A\n"); }}}},
     .start = {{{60, [](const std::uint8_t* s, std::int32_t) { return SectorBytesAre(s, 0, "\x89PNG\r\n\x1A\n"); }}}},
     .thumbnail = ThumbnailKind::ImageReader,
     .thumbnailSignature = [](const LeadingBytes& b) { return b.BytesAre(0, "\x89PNG\r\n\x1A\n"); },
     .end = EndRule::Png,
     .check = ContentCheck::PngChunks},
    {.extension = "WAV",
     .kind = "RIFF WAVE sound",
     .listed = true,
     .signature = {{{120, [](const LeadingBytes& b) { return b.BytesAre(0, "RIFF") && b.BytesAre(8, "WAVE"); }}}},
     .start = {{{70, [](const std::uint8_t* s, std::int32_t) {
                     return SectorBytesAre(s, 0, "RIFF") && SectorBytesAre(s, 8, "WAVE");
                 }}}},
     .end = EndRule::Riff,
     .check = ContentCheck::RiffChunks},
    {.extension = "AVI",
     .kind = "RIFF AVI film",
     .listed = true,
     .signature = {{{130, [](const LeadingBytes& b) { return b.BytesAre(0, "RIFF") && b.BytesAre(8, "AVI "); }}}},
     // Byte 11 is not looked at: AVIX extension chunks start here too.
     .start = {{{80, [](const std::uint8_t* s, std::int32_t) {
                     return SectorBytesAre(s, 0, "RIFF") && SectorBytesAre(s, 8, "AVI");
                 }}}},
     .end = EndRule::Riff,
     .check = ContentCheck::RiffChunks},
    {.extension = "RIFF",
     .kind = "other RIFF file",
     .listed = true,
     .signature = {{{140, [](const LeadingBytes& b) { return b.BytesAre(0, "RIFF"); }}}},
     .start = {{{90, [](const std::uint8_t* s, std::int32_t) { return SectorBytesAre(s, 0, "RIFF"); }}}},
     .end = EndRule::Riff,
     .check = ContentCheck::RiffChunks},
    {.extension = "MOV",
     .kind = "QuickTime film",
     .listed = true,
     .signature = {{{160, [](const LeadingBytes& b) { return b.BytesAre(4, "moov"); }},
                    media_formats_detail::IsoSignature<IsoFileKind::QuickTime>(34)}},
     .start = {{{100, [](const std::uint8_t* s, std::int32_t) { return SectorBytesAre(s, 4, "moov"); }},
                // Files that start with a file type box of brand "qt  ", as cameras and phones
                // write them.
                media_formats_detail::IsoStart<IsoFileKind::QuickTime>(15)}},
     .end = EndRule::IsoMedia,
     .check = ContentCheck::IsoBoxes},
    {.extension = "NEF",
     .kind = "Nikon raw picture",
     .listed = true,
     .signature = {{{60, [](const LeadingBytes& b) { return b.HasTiffByteOrder() && b.BytesAre(352, "NIKON"); }},
                    {70, [](const LeadingBytes& b) { return b.HasTiffByteOrder() && b.BytesAre(484, "NIKON"); }},
                    {83, [](const LeadingBytes& b) { return media_formats_detail::TiffRawBytesOf(b, "NIKON"); }}}},
     .start = {{{110, [](const std::uint8_t* s, std::int32_t) {
                     return SectorHasTiffByteOrder(s) && SectorBytesAre(s, 352, "NIKON");
                 }},
                {120, [](const std::uint8_t* s, std::int32_t) {
                     return SectorHasTiffByteOrder(s) && SectorBytesAre(s, 484, "NIKON");
                 }},
                // Wherever IFD0 puts the Make text ("NIKON CORPORATION"), if in this sector.
                {125,
                 [](const std::uint8_t* s, std::int32_t size) {
                     return media_formats_detail::TiffRawSectorOf(s, size, "NIKON");
                 },
                 media_formats_detail::SectorHasTiffHeaderGate}}},
     .end = EndRule::Tiff,
     .check = ContentCheck::TiffStructure},
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
                 }}}},
     .end = EndRule::Tiff,
     .check = ContentCheck::TiffStructure},
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
     .thumbnail = ThumbnailKind::ImageReader,
     // Raw files built on TIFF too: their first IFD is often a small picture.
     .thumbnailSignature = [](const LeadingBytes& b) {
         return b.BytesAre(0, "II\x2A\x00") || b.BytesAre(0, "MM\x00\x2A");
     },
     .end = EndRule::Tiff,
     .check = ContentCheck::TiffStructure},
    {.extension = "TIFF",
     .kind = "TIFF picture",
     .listed = true,
     .thumbnail = ThumbnailKind::ImageReader,
     .end = EndRule::Tiff,
     .check = ContentCheck::TiffStructure},
    {.extension = "PCX", .kind = "PCX picture", .listed = true},

    // ISO base media files, named by the brands of the file type box they start with. They rank
    // before Canon's maker text at 250, which Canon's films and CR3 files may carry.
    {.extension = "MP4",
     .kind = "MPEG-4 film",
     .listed = true,
     .signature = {{media_formats_detail::IsoSignature<IsoFileKind::Mp4>(31)}},
     .start = {{media_formats_detail::IsoStart<IsoFileKind::Mp4>(12)}},
     .end = EndRule::IsoMedia,
     .check = ContentCheck::IsoBoxes},
    {.extension = "M4A",
     .kind = "MPEG-4 sound",
     .listed = true,
     .signature = {{media_formats_detail::IsoSignature<IsoFileKind::M4a>(32)}},
     .start = {{media_formats_detail::IsoStart<IsoFileKind::M4a>(13)}},
     .end = EndRule::IsoMedia,
     .check = ContentCheck::IsoBoxes},
    {.extension = "M4V",
     .kind = "MPEG-4 film",
     .listed = true,
     .signature = {{media_formats_detail::IsoSignature<IsoFileKind::M4v>(33)}},
     .start = {{media_formats_detail::IsoStart<IsoFileKind::M4v>(14)}},
     .end = EndRule::IsoMedia,
     .check = ContentCheck::IsoBoxes},
    {.extension = "3GP",
     .kind = "3GPP film",
     .listed = true,
     .signature = {{media_formats_detail::IsoSignature<IsoFileKind::ThreeGpp>(35)}},
     .start = {{media_formats_detail::IsoStart<IsoFileKind::ThreeGpp>(16)}},
     .end = EndRule::IsoMedia,
     .check = ContentCheck::IsoBoxes},
    {.extension = "3G2",
     .kind = "3GPP2 film",
     .listed = true,
     .signature = {{media_formats_detail::IsoSignature<IsoFileKind::ThreeGpp2>(36)}},
     .start = {{media_formats_detail::IsoStart<IsoFileKind::ThreeGpp2>(17)}},
     .end = EndRule::IsoMedia,
     .check = ContentCheck::IsoBoxes},
    {.extension = "HEIC",
     .kind = "HEIF picture (HEVC)",
     .listed = true,
     .signature = {{media_formats_detail::IsoSignature<IsoFileKind::Heic>(37)}},
     .start = {{media_formats_detail::IsoStart<IsoFileKind::Heic>(18)}},
     .thumbnail = ThumbnailKind::Heif,
     .thumbnailSignature = media_formats_detail::IsHeifPicture,
     .end = EndRule::IsoMedia,
     .check = ContentCheck::IsoBoxes},
    {.extension = "HEIF",
     .kind = "HEIF picture",
     .listed = true,
     .signature = {{media_formats_detail::IsoSignature<IsoFileKind::Heif>(38)}},
     .start = {{media_formats_detail::IsoStart<IsoFileKind::Heif>(19)}},
     .thumbnail = ThumbnailKind::Heif,
     .thumbnailSignature = media_formats_detail::IsHeifPicture,
     .end = EndRule::IsoMedia,
     .check = ContentCheck::IsoBoxes},
    {.extension = "AVIF",
     .kind = "AVIF picture",
     .listed = true,
     .signature = {{media_formats_detail::IsoSignature<IsoFileKind::Avif>(39)}},
     .start = {{media_formats_detail::IsoStart<IsoFileKind::Avif>(21)}},
     .thumbnail = ThumbnailKind::Heif,
     .thumbnailSignature = media_formats_detail::IsHeifPicture,
     .end = EndRule::IsoMedia,
     .check = ContentCheck::IsoBoxes},
    {.extension = "CR3",
     .kind = "Canon raw picture (CR3)",
     .listed = true,
     .signature = {{media_formats_detail::IsoSignature<IsoFileKind::CanonRaw>(41)}},
     .start = {{media_formats_detail::IsoStart<IsoFileKind::CanonRaw>(22)}},
     .end = EndRule::IsoMedia,
     .check = ContentCheck::IsoBoxes},

    // Raw files built on TIFF, named by their header or by IFD0. All rank before the plain TIFF
    // rules; CR2 and DNG also before the looser Canon and Nikon texts at fixed offsets, which
    // their files may carry too.
    {.extension = "CR2",
     .kind = "Canon raw picture (CR2)",
     .listed = true,
     .signature = {{{45, [](const LeadingBytes& b) { return b.BytesAre(0, "II\x2A\x00") && b.BytesAre(8, "CR"); }}}},
     .start = {{{24, [](const std::uint8_t* s, std::int32_t) {
                     return SectorHasTiffByteOrder(s) && SectorBytesAre(s, 0, "II\x2A\x00") &&
                            SectorBytesAre(s, 8, "CR");
                 }}}},
     .end = EndRule::Tiff,
     .check = ContentCheck::TiffStructure},
    {.extension = "DNG",
     .kind = "digital negative (raw picture)",
     .listed = true,
     .signature = {{{47, [](const LeadingBytes& b) {
                         return (b.BytesAre(0, "II\x2A\x00") || b.BytesAre(0, "MM\x00\x2A")) &&
                                ReadTiffIfd0(b.Data(), b.Size()).dngVersion;
                     }}}},
     // DNGVersion in IFD0, whatever camera made the file.
     .start = {{{26,
                 [](const std::uint8_t* s, std::int32_t size) { return ReadTiffIfd0(s, SectorSpan(size)).dngVersion; },
                 media_formats_detail::SectorHasTiffHeaderGate}}},
     .end = EndRule::Tiff,
     .check = ContentCheck::TiffStructure},
    {.extension = "ARW",
     .kind = "Sony raw picture",
     .listed = true,
     .signature = {{{84, [](const LeadingBytes& b) { return media_formats_detail::TiffRawBytesOf(b, "SONY"); }}}},
     .start = {{{132,
                 [](const std::uint8_t* s, std::int32_t size) {
                     return media_formats_detail::TiffRawSectorOf(s, size, "SONY");
                 },
                 media_formats_detail::SectorHasTiffHeaderGate}}},
     .end = EndRule::Tiff,
     .check = ContentCheck::TiffStructure},
    {.extension = "PEF",
     .kind = "Pentax raw picture",
     .listed = true,
     .signature = {{{85, [](const LeadingBytes& b) {
                         return (b.BytesAre(0, "II\x2A\x00") || b.BytesAre(0, "MM\x00\x2A")) &&
                                media_formats_detail::IsPentaxRaw(b.Data(), b.Size());
                     }}}},
     .start = {{{134,
                 [](const std::uint8_t* s, std::int32_t size) {
                     return media_formats_detail::IsPentaxRaw(s, SectorSpan(size));
                 },
                 media_formats_detail::SectorHasTiffHeaderGate}}},
     .end = EndRule::Tiff,
     .check = ContentCheck::TiffStructure},
    {.extension = "ORF",
     .kind = "Olympus raw picture",
     .listed = true,
     .signature = {{{86, [](const LeadingBytes& b) {
                         return b.BytesAre(0, "IIRO") || b.BytesAre(0, "IIRS") || b.BytesAre(0, "MMOR");
                     }}}},
     .start = {{{136, [](const std::uint8_t* s, std::int32_t) {
                     return media_formats_detail::SectorHasOlympusHeader(s);
                 }}}},
     .end = EndRule::Tiff,
     .check = ContentCheck::TiffStructure},
    {.extension = "RW2",
     .kind = "Panasonic raw picture",
     .listed = true,
     .signature = {{{87, [](const LeadingBytes& b) { return b.BytesAre(0, "IIU\x00"); }}}},
     .start = {{{138, [](const std::uint8_t* s, std::int32_t) {
                     return SectorHasTiffByteOrder(s) && SectorBytesAre(s, 0, "IIU\x00");
                 }}}},
     .end = EndRule::Tiff,
     .check = ContentCheck::TiffStructure},

    // Named by IsFile, but no media files: a lost file of these types is made, not saved.
    {.extension = "CDR",
     .kind = "CorelDRAW drawing",
     .signature = {{{110, [](const LeadingBytes& b) { return b.BytesAre(0, "RIFF") && b.BytesAre(8, "CDR"); }}}}},
    {.extension = "MID",
     .kind = "standard MIDI file",
     .signature = {{{150, [](const LeadingBytes& b) { return b.BytesAre(0, "MThd"); }}}}},

    // Never recovered, but shown as pictures when staged.
    {.extension = "ICO",
     .kind = "Windows icon",
     .thumbnail = ThumbnailKind::ImageReader,
     // Reserved 0, type 1 (an icon), and at least one picture.
     .thumbnailSignature = [](const LeadingBytes& b) {
         return b.Size() >= 22 && b.BytesAre(0, "\x00\x00\x01\x00") && !(b.ByteIs(4, 0) && b.ByteIs(5, 0));
     }},
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

// The format whose decoder the preview gives a file, by its first bytes: the first row whose
// thumbnail signature matches; nullptr when none does, and the file is shown by its type label.
const MediaFormat* ThumbnailFormatOfContent(std::span<const std::uint8_t> bytes);

}  // namespace quorvane
