#pragma once
// What the GUI-free windows need from a front end: message boxes, message pumping, the busy
// cursor. The Qt window, the command line and the tests each implement it.
#include <cstdint>
#include <string>

namespace quorvane {

enum class MsgIcon { None, Information, Warning, Error, Question, Exclamation };
enum class MsgButtons { Ok, YesNo, OkCancel };
enum class MsgResult { Ok, Cancel, Yes, No };

class UserInterface {
public:
    virtual ~UserInterface() = default;
    // Handles pending user input (clicks, Cancel, closing) during a long loop.
    virtual void ProcessMessages() {}
    virtual MsgResult MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                                 MsgButtons buttons, MsgResult defaultResult) = 0;
    virtual void SetBusyCursor(bool /*busy*/) {}
};

// The front end in use; a silent one that answers every question with its default until set.
UserInterface& UI();
void SetUI(UserInterface* ui);

// Called from long loops (per cluster, per entry; the scan per 16 sectors). Checks a coarse
// clock and hands over to the front end at most every 20 ms.
void PumpMessages();

// Milliseconds of a monotonic clock, wrapping like a 32-bit tick counter.
std::uint32_t GetTickCount();

// The refusal box of the main window: empty title, exclamation icon, OK.
void ShowRefusal(const std::string& text);
// A warning box: empty title, warning icon, OK.
void ShowWarning(const std::string& text);

}  // namespace quorvane
