#include "win32/load_project_dialog.h"

#include <algorithm>
#include <optional>
#include <string>

#include "project/project_dialogs.h"
#include "resource.h"
#include "win32/dialog_support.h"

namespace veltrano::win32 {
namespace {

struct Context {
    WindowView& view;
    LoadProjectDialog& logic;
};

void ShowEntries(HWND dialog, const LoadProjectDialog& logic) {
    const HWND box = GetDlgItem(dialog, IDC_PROJECT_LIST);
    SendMessageA(box, LB_RESETCONTENT, 0, 0);
    for (const std::string& entry : logic.Entries()) {
        SendMessageA(box, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    }
}

// The box sorts by its own rules: its selection is found among the
// dialog's entries by its text.
std::optional<std::size_t> SelectedEntry(HWND dialog, const LoadProjectDialog& logic) {
    const HWND box = GetDlgItem(dialog, IDC_PROJECT_LIST);
    const LRESULT item = SendMessageA(box, LB_GETCURSEL, 0, 0);
    if (item == LB_ERR) return std::nullopt;
    std::string text(static_cast<std::size_t>(SendMessageA(box, LB_GETTEXTLEN, static_cast<WPARAM>(item), 0)), '\0');
    SendMessageA(box, LB_GETTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(text.data()));
    const auto& entries = logic.Entries();
    const auto found = std::find(entries.begin(), entries.end(), text);
    if (found == entries.end()) return std::nullopt;
    return static_cast<std::size_t>(found - entries.begin());
}

BOOL OnInitDialog(HWND dialog, HWND, LPARAM context) {
    BeginDialog(dialog, context, reinterpret_cast<Context*>(context)->view);
    ShowEntries(dialog, DialogContext<Context>(dialog).logic);
    return TRUE;
}

void OnCommand(HWND dialog, int id, HWND, UINT notification) {
    Context& context = DialogContext<Context>(dialog);
    const bool load = id == IDOK || (id == IDC_PROJECT_LIST && notification == LBN_DBLCLK);
    if (load && context.logic.OnLoad(SelectedEntry(dialog, context.logic))) {
        EndOwnedDialog(dialog, IDOK, context.view);
    } else if (id == IDC_PROJECT_DELETE) {
        const std::size_t before = context.logic.Entries().size();
        context.logic.OnDelete(SelectedEntry(dialog, context.logic));
        if (context.logic.Entries().size() != before) ShowEntries(dialog, context.logic);
    } else if (id == IDCANCEL) {
        EndOwnedDialog(dialog, IDCANCEL, context.view);
    }
}

}  // namespace

bool ShowLoadProjectDialog(WindowView& view, LoadProjectDialog& dialog) {
    Context context{view, dialog};
    return RunDialog(IDD_LOAD_PROJECT, view, DialogProcedure<OnInitDialog, OnCommand>, &context) == IDOK;
}

}  // namespace veltrano::win32
