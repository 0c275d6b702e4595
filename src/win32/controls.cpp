#include "win32/controls.h"

namespace veltrano::win32 {

std::string ControlText(HWND dialog, int id) {
    const HWND control = GetDlgItem(dialog, id);
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

void SetControlText(HWND dialog, int id, std::string_view text) {
    SetDlgItemTextA(dialog, id, std::string(text).c_str());
}

void EnableControl(HWND dialog, int id, bool enabled) { EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE); }

}  // namespace veltrano::win32
