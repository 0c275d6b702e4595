#include "win32/about_box.h"

#include <windowsx.h>

#include <string>

#include "resource.h"
#include "win32/controls.h"
#include "win32/dialog_support.h"

namespace veltrano::win32 {
namespace {

std::string LoadText(int id) {
    char text[100] = "";
    LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), text, static_cast<int>(sizeof text));
    return text;
}

BOOL OnInitDialog(HWND dialog, HWND, LPARAM view) {
    BeginDialog(dialog, view, *reinterpret_cast<WindowView*>(view));
    SetControlText(dialog, IDC_ABOUT_AUTHOR, LoadText(IDS_AUTHOR));
    SetControlText(dialog, IDC_ABOUT_RIGHTS, LoadText(IDS_RIGHTS));
    SetControlText(dialog, IDC_ABOUT_NAME, LoadText(IDS_APP_NAME) + " version " + LoadText(IDS_VERSION));
    return TRUE;
}

void OnCommand(HWND dialog, int id, HWND, UINT) {
    if (id == IDOK || id == IDCANCEL) EndOwnedDialog(dialog, id, DialogContext<WindowView>(dialog));
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return HANDLE_WM_INITDIALOG(dialog, wParam, lParam, OnInitDialog);
        case WM_COMMAND: HANDLE_WM_COMMAND(dialog, wParam, lParam, OnCommand); return TRUE;
    }
    return FALSE;
}

}  // namespace

void AboutBox(WindowView& view) { RunDialog(IDD_ABOUT, view, AboutProc, &view); }

}  // namespace veltrano::win32
