#pragma once
// The desktop's side of the GUI-free windows: message boxes, message pumping, the busy cursor.
#include "app/ui.h"

#include <functional>

class QWidget;

namespace quorvane::gui {

class QtUserInterface : public UserInterface {
public:
    QtUserInterface();
    ~QtUserInterface() override;

    // Message boxes are centred on this window.
    QWidget* Parent = nullptr;

    void ProcessMessages() override;
    MsgResult MessageBox(const std::string& text, const std::string& caption, MsgIcon icon, MsgButtons buttons,
                         MsgResult defaultResult) override;
    void SetBusyCursor(bool busy) override;

    // Tests answer the boxes: called instead of showing one, it gives the button pressed.
    std::function<MsgResult(const std::string& text, MsgIcon icon, MsgButtons buttons)> Answer;
    // The same for every instance that has no Answer of its own (a test program sets it once).
    static std::function<MsgResult(const std::string& text, MsgIcon icon, MsgButtons buttons)> DefaultAnswer;

private:
    int busy_ = 0;
};

}  // namespace quorvane::gui
