#include "win32/file_name_dialog.h"

#include <windowsx.h>

#include "project/project_dialogs.h"
#include "resource.h"
#include "win32/controls.h"

namespace veltrano::win32 {
namespace {

FileNameDialog& Logic(HWND dialog) { return *reinterpret_cast<FileNameDialog*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

BOOL OnInitDialog(HWND dialog, HWND, LPARAM logic) {
    SetWindowLongPtrA(dialog, DWLP_USER, logic);
    SendDlgItemMessageA(dialog, IDC_FILE_NAME, EM_LIMITTEXT, kFileNameMax, 0);
    return TRUE;
}

void OnCommand(HWND dialog, int id, HWND, UINT) {
    if (id == IDOK && Logic(dialog).OnOk(ControlText(dialog, IDC_FILE_NAME))) EndDialog(dialog, IDOK);
    if (id == IDCANCEL) EndDialog(dialog, IDCANCEL);
}

INT_PTR CALLBACK FileNameProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return HANDLE_WM_INITDIALOG(dialog, wParam, lParam, OnInitDialog);
        case WM_COMMAND: HANDLE_WM_COMMAND(dialog, wParam, lParam, OnCommand); return TRUE;
    }
    return FALSE;
}

}  // namespace

bool ShowFileNameDialog(HWND owner, FileNameDialog& dialog) {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_FILE_NAME), owner, FileNameProc,
                           reinterpret_cast<LPARAM>(&dialog)) == IDOK;
}

}  // namespace veltrano::win32
