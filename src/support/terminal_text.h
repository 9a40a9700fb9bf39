#pragma once
// Text from a card (volume labels, file names) or from a device (model names) shown on a terminal:
// escape sequences in it would otherwise move the cursor, change colours, retitle the window or
// worse, and right-to-left overrides would make a name read other than it is.
#include <string>
#include <string_view>

namespace quorvane {

// The text with every control character written out: C0 controls as "\x1b" (or "\t", "\n",
// "\r"), DEL as "\x7f", C1 controls and bidirectional overrides as "\u009b", "\u202e", bytes that
// are not UTF-8 as "\xff". A backslash stays as it is. keepNewlines keeps "\n" as a line break,
// for messages of several lines.
std::string EscapeForTerminal(std::string_view text, bool keepNewlines = false);

}  // namespace quorvane
