#include "win32/dialog_support.h"

namespace veltrano::win32 {

INT_PTR RunDialog(int templateId, WindowView& view, DLGPROC procedure, void* context) {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), view.Window(), procedure,
                           reinterpret_cast<LPARAM>(context));
}

void BeginDialog(HWND dialog, LPARAM context, WindowView& view) {
    SetWindowLongPtrA(dialog, DWLP_USER, context);
    view.PushOwner(dialog);
}

void EndOwnedDialog(HWND dialog, INT_PTR result, WindowView& view) {
    view.PopOwner();
    EndDialog(dialog, result);
}

}  // namespace veltrano::win32
