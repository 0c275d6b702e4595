#include "win32/file_name_dialog.h"

#include "project/project_dialogs.h"
#include "resource.h"
#include "win32/controls.h"
#include "win32/dialog_support.h"

namespace veltrano::win32 {
namespace {

struct Context {
    WindowView& view;
    FileNameDialog& logic;
};

BOOL OnInitDialog(HWND dialog, HWND, LPARAM context) {
    BeginDialog(dialog, context, reinterpret_cast<Context*>(context)->view);
    SendDlgItemMessageA(dialog, IDC_FILE_NAME, EM_LIMITTEXT, kFileNameMax, 0);
    return TRUE;
}

void OnCommand(HWND dialog, int id, HWND, UINT) {
    Context& context = DialogContext<Context>(dialog);
    if (id == IDOK && context.logic.OnOk(ControlText(dialog, IDC_FILE_NAME))) EndOwnedDialog(dialog, IDOK, context.view);
    if (id == IDCANCEL) EndOwnedDialog(dialog, IDCANCEL, context.view);
}

}  // namespace

bool ShowFileNameDialog(WindowView& view, FileNameDialog& dialog) {
    Context context{view, dialog};
    return RunDialog(IDD_FILE_NAME, view, DialogProcedure<OnInitDialog, OnCommand>, &context) == IDOK;
}

}  // namespace veltrano::win32
