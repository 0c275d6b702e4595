// Text in the system code page, and small helpers over the controls of a
// dialog.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace veltrano::win32 {

// Text in the system code page to UTF-16 and back.
std::wstring WideFromAnsi(std::string_view text);
std::string AnsiFromWide(std::wstring_view text);

std::string ControlText(HWND dialog, int id);
void SetControlText(HWND dialog, int id, std::string_view text);
void EnableControl(HWND dialog, int id, bool enabled);

// Replaces a list box's entries, keeping it from redrawing meanwhile.
template <typename Items>
void FillListBox(HWND listBox, const Items& items) {
    SendMessageA(listBox, WM_SETREDRAW, FALSE, 0);
    SendMessageA(listBox, LB_RESETCONTENT, 0, 0);
    for (const auto& item : items) SendMessageA(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::string(item).c_str()));
    SendMessageA(listBox, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(listBox, nullptr, TRUE);
}

}  // namespace veltrano::win32
