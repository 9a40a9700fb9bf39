#include "app/ui.h"

#include <ctime>

namespace quorvane {
namespace {

class SilentUserInterface : public UserInterface {
public:
    MsgResult MessageBox(const std::string&, const std::string&, MsgIcon, MsgButtons, MsgResult defaultResult) override {
        return defaultResult;
    }
};

SilentUserInterface silentUi;
UserInterface* currentUi = &silentUi;

std::uint64_t coarseMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1'000'000u;
}

constexpr std::uint64_t PumpIntervalMs = 20;
std::uint64_t lastPumpMs = 0;

}  // namespace

UserInterface& UI() { return *currentUi; }

void SetUI(UserInterface* ui) { currentUi = ui != nullptr ? ui : &silentUi; }

void PumpMessages() {
    const std::uint64_t now = coarseMilliseconds();
    if (now - lastPumpMs < PumpIntervalMs) return;
    lastPumpMs = now;
    currentUi->ProcessMessages();
}

std::uint32_t GetTickCount() {
    // Never 0, so that "0 = no update yet" stays unambiguous for callers.
    const auto ms = static_cast<std::uint32_t>(coarseMilliseconds());
    return ms == 0 ? 1 : ms;
}

void ShowRefusal(const std::string& text) {
    UI().MessageBox(text, "", MsgIcon::Exclamation, MsgButtons::Ok, MsgResult::Ok);
}

void ShowWarning(const std::string& text) {
    UI().MessageBox(text, "", MsgIcon::Warning, MsgButtons::Ok, MsgResult::Ok);
}

}  // namespace quorvane
