#include "media/content_check.h"

#include "media/format_checks.h"

namespace quorvane {

std::string_view ConditionName(TFileCondition condition) {
    switch (condition) {
        case TFileCondition::Whole: return "whole";
        case TFileCondition::Damaged: return "damaged";
        case TFileCondition::Unknown: break;
    }
    return "unknown";
}

namespace {

TFileCondition RunCheck(ContentCheck check, ContentFile& file) {
    switch (check) {
        case ContentCheck::JpegDecode: return CheckJpegFile(file);
        case ContentCheck::PngChunks: return CheckPngFile(file);
        case ContentCheck::RiffChunks: return CheckRiffFile(file);
        case ContentCheck::IsoBoxes: return CheckIsoMediaFile(file);
        case ContentCheck::TiffStructure: return CheckTiffFile(file);
        case ContentCheck::GifBlocks: return CheckGifFile(file);
        case ContentCheck::BmpHeader: return CheckBmpFile(file);
        case ContentCheck::None: break;
    }
    return TFileCondition::Unknown;
}

}  // namespace

TFileCondition CheckFileContent(ContentCheck check, const std::string& path) {
    if (check == ContentCheck::None) return TFileCondition::Unknown;
    try {
        auto file = ContentFile::Open(path);
        if (!file) return TFileCondition::Unknown;
        const TFileCondition condition = RunCheck(check, *file);
        // A verdict reached over a failed read says nothing about the file.
        return file->readFailed() ? TFileCondition::Unknown : condition;
    } catch (...) {
        // Only allocation can throw here; a check that cannot run leaves the condition unknown.
        return TFileCondition::Unknown;
    }
}

}  // namespace quorvane
