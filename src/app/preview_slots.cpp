#include "app/preview_slots.h"

#include <array>

#include "media/media_formats.h"

namespace quorvane {

TPreviewSlot::TPreviewSlot(int k)
    : Number(k),
      PnPreview("PnPreview" + std::to_string(k)),
      ImgPreview("ImgPreview" + std::to_string(k)),
      LBPreview("LBPreview" + std::to_string(k), ""),
      CBPreview("CBPreview" + std::to_string(k), "Select"),
      LBCondition("LBCondition" + std::to_string(k), "") {
    PnPreview.SetVisible(false);
    LBCondition.SetVisible(false);
}

int TPreviewSlot::Left() const {
    static constexpr std::array<int, PerRow> columns{4, 111, 218, 325, 432};
    return columns[static_cast<std::size_t>((Number - 1) % PerRow)];
}

int TPreviewSlot::Top() const { return Number <= PerRow ? 4 : 127; }

std::string PreviewTypeWord(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 == path.size()) return "Unknown";
    return path.substr(dot + 1);
}

bool IsPreviewPictureType(const std::string& typeWord) {
    const MediaFormat* format = FindMediaFormat(typeWord);
    return format != nullptr && format->thumbnail != ThumbnailKind::TypeLabel;
}

std::string ConditionMarkCaption(TFileCondition condition) {
    switch (condition) {
        case TFileCondition::Whole:
            return "Whole";
        case TFileCondition::Damaged:
            return "Damaged";
        case TFileCondition::Unknown:
            break;
    }
    return "";
}

}  // namespace quorvane
