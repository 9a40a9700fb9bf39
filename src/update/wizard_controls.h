#pragma once
// Controls of the update wizard that the recovery windows do not use: a page control with
// hidden tabs, a read-only text box, radio buttons and a check list.
#include "app/controls.h"

#include <string>
#include <vector>

namespace quorvane {

class TPageControl : public TControl {
public:
    TPageControl(std::string name, int pageCount) : TControl(std::move(name)), pageCount_(pageCount) {}
    int PageCount() const { return pageCount_; }
    int ActivePageIndex() const { return active_; }
    void SetActivePageIndex(int v) {
        if (v >= 0 && v < pageCount_) assign(active_, v);
    }

private:
    int pageCount_;
    int active_ = 0;
};

// A multi-line, read-only text.
class TMemo : public TControl {
public:
    using TControl::TControl;
    const std::vector<std::string>& Lines() const { return lines_; }
    void SetLines(std::vector<std::string> v) { assign(lines_, v); }

private:
    std::vector<std::string> lines_;
};

using TRadioButton = TCheckBox;

class TCheckListBox : public TControl {
public:
    struct Item {
        std::string caption;
        bool checked = false;
        bool operator==(const Item&) const = default;
    };
    using TControl::TControl;
    const std::vector<Item>& Items() const { return items_; }
    void SetItems(std::vector<Item> v) { assign(items_, v); }
    void SetChecked(std::size_t index, bool checked) {
        if (index >= items_.size() || items_[index].checked == checked) return;
        auto items = items_;
        items[index].checked = checked;
        assign(items_, items);
    }

private:
    std::vector<Item> items_;
};

}  // namespace quorvane
