// The few calls by which the desktop program reaches the user and the
// shell outside its own window: message boxes, the shell's "open" verb and
// the beep. Tests replace them with recorders.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <functional>
#include <string>

namespace veltrano::win32 {

struct Seams {
    // A message box; returns the button pressed (IDOK, IDYES, IDNO).
    std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT flags)> messageBox;
    // The shell's "open" verb on a file or address, with optional parameters.
    std::function<void(HWND owner, const std::string& file, const std::string& parameters)> shellOpen;
    std::function<void()> beep;
    // The open-file chooser; true when the user chose a file.
    std::function<bool(OPENFILENAMEA& request)> chooseFile;
};

// The calls in use; the real ones unless a test has replaced them.
Seams& CurrentSeams();
// The real calls.
Seams SystemSeams();

}  // namespace veltrano::win32
