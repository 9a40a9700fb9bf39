#include "fat/fat_messages.h"

namespace quorvane {

namespace {

TFATMessageHook& Hook() {
    static TFATMessageHook hook;
    return hook;
}

}  // namespace

void SetFATMessageHook(TFATMessageHook NewHook) { Hook() = std::move(NewHook); }

void ShowFATMessage(const std::string& Text, const std::string& Caption, TFATMessageKind Kind) {
    if (const auto& hook = Hook()) hook(Text, Caption, Kind);
}

}  // namespace quorvane
