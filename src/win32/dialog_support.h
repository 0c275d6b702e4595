// What the modal dialogs of the main window share: each is run from its
// template with a context that its procedure finds again, and while it is
// open the messages it causes are owned by it.
#pragma once

#include <windows.h>
#include <windowsx.h>

#include "win32/window_view.h"

namespace veltrano::win32 {

// Runs the dialog `templateId` owned by the view's window; `context` is
// handed to the procedure with WM_INITDIALOG.
INT_PTR RunDialog(int templateId, WindowView& view, DLGPROC procedure, void* context);

// For procedures: on WM_INITDIALOG, keeps the context and makes the dialog
// the owner of messages; on WM_DESTROY, gives that back.
void BeginDialog(HWND dialog, LPARAM context, WindowView& view);
void EndOwnedDialog(HWND dialog, INT_PTR result, WindowView& view);

template <typename Context>
Context& DialogContext(HWND dialog) {
    return *reinterpret_cast<Context*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// The procedure of a dialog that handles its initialisation and its
// commands; every other message gets the default dialog handling.
template <BOOL (*OnInit)(HWND, HWND, LPARAM), void (*OnCommand)(HWND, int, HWND, UINT)>
INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return HANDLE_WM_INITDIALOG(dialog, wParam, lParam, OnInit);
        case WM_COMMAND: HANDLE_WM_COMMAND(dialog, wParam, lParam, OnCommand); return TRUE;
    }
    return FALSE;
}

}  // namespace veltrano::win32
