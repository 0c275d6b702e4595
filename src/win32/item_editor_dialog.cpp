#include "win32/item_editor_dialog.h"

#include <optional>
#include <string>

#include "resource.h"
#include "state/app_state.h"
#include "win32/controls.h"
#include "win32/dialog_support.h"
#include "win32/help.h"

namespace veltrano::win32 {
namespace {

// The pattern editor's Help button opens the pattern language.
constexpr int kPatternHelpTopic = 2;

struct Context {
    WindowView& view;
    ItemEditor editor;
};

BOOL OnInitDialog(HWND dialog, HWND, LPARAM context) {
    Context& editing = *reinterpret_cast<Context*>(context);
    BeginDialog(dialog, context, editing.view);
    // A refused opening shows only its message: the dialog never appears.
    if (!editing.editor.Open()) {
        EndOwnedDialog(dialog, IDCANCEL, editing.view);
        return FALSE;
    }
    SetWindowTextA(dialog, std::string(editing.editor.Title()).c_str());
    // An entry loaded from a file may be longer than typing allows: it is shown whole.
    SetControlText(dialog, IDC_ITEM_TEXT, editing.editor.InitialText());
    SendDlgItemMessageA(dialog, IDC_ITEM_TEXT, EM_LIMITTEXT, kEntryTextMax, 0);
    return TRUE;
}

void OnCommand(HWND dialog, int id, HWND, UINT) {
    Context& editing = DialogContext<Context>(dialog);
    switch (id) {
        case IDOK:
            if (editing.editor.OnOk(ControlText(dialog, IDC_ITEM_TEXT))) EndOwnedDialog(dialog, IDOK, editing.view);
            return;
        case IDCANCEL: EndOwnedDialog(dialog, IDCANCEL, editing.view); return;
        case IDC_ITEM_HELP: ShowHelpTopic(dialog, kPatternHelpTopic, editing.view.State().caption); return;
    }
}

}  // namespace

void ShowItemEditor(WindowView& view, ListId list, ItemEditMode mode) {
    AppState& state = view.State();
    const bool patterns = list == ListId::patterns;
    EditableList& entries = patterns ? static_cast<EditableList&>(state.patternList) : state.extensionList;
    const LRESULT selected =
        SendDlgItemMessageA(view.Window(), patterns ? IDC_PATTERN_LIST : IDC_EXT_LIST, LB_GETCURSEL, 0, 0);
    entries.Select(selected == LB_ERR ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(selected)));
    Context context{view, ItemEditor(view, entries, mode)};
    const int templateId = patterns ? IDD_ITEM_PATTERN : IDD_ITEM_EXTENSION;
    if (RunDialog(templateId, view, DialogProcedure<OnInitDialog, OnCommand>, &context) == IDOK) {
        view.ShowEditableList(list);
    }
}

}  // namespace veltrano::win32
