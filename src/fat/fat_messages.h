#pragma once
// Messages that the FAT engine shows to the user, such as the failures of a file's copy-out. The
// engine knows nothing of windows or consoles: it hands each message to a hook that the front end
// installs (a dialog in the window, a line on the console). Without a hook nothing is shown.
#include <functional>
#include <string>

namespace quorvane {

enum class TFATMessageKind { Information, Warning, Error };

using TFATMessageHook =
    std::function<void(const std::string& Text, const std::string& Caption, TFATMessageKind Kind)>;

// Installs the hook (an empty one: show nothing).
void SetFATMessageHook(TFATMessageHook Hook);

// Hands a message with an OK button to the hook.
void ShowFATMessage(const std::string& Text, const std::string& Caption, TFATMessageKind Kind);

}  // namespace quorvane
