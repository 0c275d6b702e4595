// Texts as the terminal crawler shows them: the program's messages worded
// for a command line, the meaning of a page failure, and crawled text made
// harmless for a terminal.
#pragma once

#include <string>
#include <string_view>

namespace veltrano {

// The message as a command-line user should read it: menus and dialogs of
// the desktop program become options, file errors say what failed where.
std::string TerminalWording(std::string_view message);

// A short meaning of a failure name such as "INET_E_CANNOT_CONNECT".
std::string_view FailureMeaning(std::string_view status);

// Control bytes (below 0x20, and 0x7f) as \xNN, so that a page cannot move
// the cursor, change colours or retitle the terminal.
std::string EscapeControls(std::string_view text);

}  // namespace veltrano
