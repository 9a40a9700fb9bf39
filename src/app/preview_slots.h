#pragma once
// The ten display slots of the preview window: two rows of five, each a panel with a picture,
// a type label, a mark of the file's condition and a "Select" check box, showing one staged file
// or none.
#include "app/controls.h"
#include "media/content_check.h"

#include <string>

namespace quorvane {

class TPreviewSlot {
public:
    static constexpr int Count = 10;
    static constexpr int PerRow = 5;

    explicit TPreviewSlot(int k);  // k = 1 .. 10

    const int Number;
    // The panel is this slot's visibility; the picture box hides when the file is shown by its label.
    TControl PnPreview;
    TControl ImgPreview;
    // In front of the picture box exactly when the picture box is hidden.
    TLabel LBPreview;
    TCheckBox CBPreview;
    // The condition of the file shown, once it has been checked: a mark in a corner of the
    // picture, "Damaged" or "Whole" and visible, or hidden while the condition is unknown.
    TLabel LBCondition;
    TFileCondition Condition = TFileCondition::Unknown;
    // The staged index shown, -1 for none.
    int Index = -1;
    // How often a picture was loaded into this slot.
    int PictureLoads = 0;

    // Where the panel sits in the window's client area.
    int Left() const;
    int Top() const;
};

// The path's extension without its dot, as written; "Unknown" when there is none.
std::string PreviewTypeWord(const std::string& path);
// Files of the media formats that have a thumbnail kind (BMP, JPG, JPEG, GIF, PNG, TIF, TIFF, ICO,
// WMF and EMF among them) are shown as pictures, whatever the case of the type word.
bool IsPreviewPictureType(const std::string& typeWord);
// The caption of a slot's condition mark: "" while the condition is unknown.
std::string ConditionMarkCaption(TFileCondition condition);

}  // namespace quorvane
