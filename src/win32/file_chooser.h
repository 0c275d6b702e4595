// The file chooser of the Result menu: the system's open-file chooser, for
// saving as well, since the program asks its own overwrite question.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "state/view.h"

namespace veltrano::win32 {

// The chosen path, or nothing when the user cancelled.
std::optional<std::string> ShowFileChooser(HWND owner, const FileChooserRequest& request);

}  // namespace veltrano::win32
