#pragma once
// Plain controls of the GUI-free windows. A view (Qt widget, console line, test) watches a
// control through onChanged; assigning the value it already has notifies nothing.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quorvane {

class TControl {
public:
    explicit TControl(std::string name) : Name(std::move(name)) {}
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;
    virtual ~TControl() = default;

    const std::string Name;
    std::function<void(const TControl&)> onChanged;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v) { assign(enabled_, v); }
    bool Visible() const { return visible_; }
    void SetVisible(bool v) { assign(visible_, v); }

protected:
    template <class T>
    void assign(T& field, const T& value) {
        if (field == value) return;
        field = value;
        if (onChanged) onChanged(*this);
    }

private:
    bool enabled_ = true;
    bool visible_ = true;
};

// Buttons, labels, panels: a caption.
class TCaptioned : public TControl {
public:
    TCaptioned(std::string name, std::string caption) : TControl(std::move(name)), caption_(std::move(caption)) {}
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& v) { assign(caption_, v); }

private:
    std::string caption_;
};

using TButton = TCaptioned;
using TLabel = TCaptioned;

class TEdit : public TControl {
public:
    using TControl::TControl;
    const std::string& Text() const { return text_; }
    void SetText(const std::string& v) { assign(text_, v); }

private:
    std::string text_;
};

class TCheckBox : public TCaptioned {
public:
    using TCaptioned::TCaptioned;
    bool Checked() const { return checked_; }
    void SetChecked(bool v) { assign(checked_, v); }

private:
    bool checked_ = false;
};

// A track bar keeps its position inside its range, as the toolkit's does.
class TTrackBar : public TControl {
public:
    TTrackBar(std::string name, int min, int max, int position, int frequency)
        : TControl(std::move(name)), min_(min), max_(max), position_(position), frequency_(frequency) {}
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return position_; }
    int Frequency() const { return frequency_; }
    void SetMin(int v) {
        assign(min_, v);
        if (max_ < min_) assign(max_, min_);
        SetPosition(position_);
    }
    void SetMax(int v) {
        assign(max_, v);
        if (min_ > max_) assign(min_, max_);
        SetPosition(position_);
    }
    void SetPosition(int v) { assign(position_, std::clamp(v, min_, max_)); }
    void SetFrequency(int v) { assign(frequency_, v); }

private:
    int min_, max_, position_, frequency_;
};

class TProgressBar : public TControl {
public:
    using TControl::TControl;
    std::int64_t Max() const { return max_; }
    std::int64_t Position() const { return position_; }
    void SetMax(std::int64_t v) { assign(max_, v); }
    void SetPosition(std::int64_t v) { assign(position_, v); }

private:
    std::int64_t max_ = 100;
    std::int64_t position_ = 0;
};

// A drop-down list with icons; each item carries a number (the drive number for drives).
class TComboBox : public TControl {
public:
    struct Item {
        std::string caption;
        std::string icon;
        int data = 0;
        bool operator==(const Item&) const = default;
    };
    using TControl::TControl;
    const std::vector<Item>& Items() const { return items_; }
    void SetItems(std::vector<Item> v) { assign(items_, v); }
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int v) { assign(itemIndex_, v >= 0 && v < static_cast<int>(items_.size()) ? v : -1); }
    const Item* Selected() const { return itemIndex_ >= 0 ? &items_[static_cast<std::size_t>(itemIndex_)] : nullptr; }

private:
    std::vector<Item> items_;
    int itemIndex_ = -1;
};

// The busy animation shown during a run.
class TAnimate : public TControl {
public:
    using TControl::TControl;
    bool Active() const { return active_; }
    void SetActive(bool v) { assign(active_, v); }
    std::string FileName;

private:
    bool active_ = false;
};

}  // namespace quorvane
