#include "win32/about_box.h"

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

}  // namespace

void AboutBox(WindowView& view) { RunDialog(IDD_ABOUT, view, DialogProcedure<OnInitDialog, OnCommand>, &view); }

}  // namespace veltrano::win32
