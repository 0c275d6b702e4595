#include "win32/window_view.h"

#include <commctrl.h>

#include "project/project_dialogs.h"
#include "resource.h"
#include "state/app_state.h"
#include "win32/controls.h"
#include "win32/file_chooser.h"
#include "win32/file_name_dialog.h"
#include "win32/load_project_dialog.h"
#include "win32/seams.h"

namespace veltrano::win32 {
namespace {

int LabelId(StatusLabel label) {
    switch (label) {
        case StatusLabel::timer: return IDC_TIMER;
        case StatusLabel::traffic: return IDC_TRAFFIC;
        case StatusLabel::pagesTotal: return IDC_PAGES_TOTAL;
        case StatusLabel::resultsTotal: return IDC_RESULTS_TOTAL;
        case StatusLabel::downloadingAddress: return IDC_DOWNLOADING;
        case StatusLabel::downloadingRow: return IDC_CURRENT_ROW;
    }
    return 0;
}

}  // namespace

void WindowView::Attach(HWND window) {
    uiThread_ = GetCurrentThreadId();
    window_ = window;
}

void WindowView::Detach() { window_ = nullptr; }

bool WindowView::OnUiThread() const { return GetCurrentThreadId() == uiThread_; }

void WindowView::OnUi(const std::function<void()>& job) {
    const HWND window = window_.load();
    if (window == nullptr) return;
    if (OnUiThread()) {
        job();
    } else {
        SendMessageA(window, WM_APP_RUN, 0, reinterpret_cast<LPARAM>(&job));
    }
}

void WindowView::Note(Pending change) {
    pending_ |= change;
    const HWND window = window_.load();
    if (window != nullptr && !syncPosted_.exchange(true)) PostMessageA(window, WM_APP_SYNC, 0, 0);
}

void WindowView::Sync() {
    // Cleared before the changes are taken, so a change noted from now on
    // posts a new message.
    syncPosted_ = false;
    const unsigned changes = pending_.exchange(0);
    if (window_.load() == nullptr) return;
    if (changes & kPages) SyncPages();
    if (changes & kResults) AppendResults();
    if (changes & kLastResult) SelectLastResult();
}

void WindowView::SyncPages() {
    const HWND list = GetDlgItem(window_, IDC_PAGE_LIST);
    const std::size_t count = state_.pageList.Count();
    ListView_SetItemCountEx(list, static_cast<int>(count), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    constexpr UINT kCurrent = LVIS_FOCUSED | LVIS_SELECTED;
    const std::optional<std::size_t> current = state_.pageList.CurrentRow();
    if (current && *current < count) {
        const int row = static_cast<int>(*current);
        ListView_SetItemState(list, row, kCurrent, kCurrent);
        ListView_EnsureVisible(list, row, FALSE);
    } else {
        ListView_SetItemState(list, -1, 0, kCurrent);
    }
    // Result cells change in place; only the visible rows are drawn again.
    InvalidateRect(list, nullptr, FALSE);
}

void WindowView::AppendResults() {
    // The box holds no texts, only their number: it draws each visible entry
    // from the core's list, so a million results cost nothing to show.
    const HWND box = GetDlgItem(window_, IDC_RESULT_LIST);
    const std::size_t count = state_.resultList.Count();
    if (static_cast<std::size_t>(SendMessageA(box, LB_GETCOUNT, 0, 0)) != count) {
        SendMessageA(box, LB_SETCOUNT, count, 0);
        InvalidateRect(box, nullptr, TRUE);
    }
}

void WindowView::RebuildResults() {
    const HWND box = GetDlgItem(window_, IDC_RESULT_LIST);
    SendMessageA(box, LB_SETCOUNT, state_.resultList.Count(), 0);
    InvalidateRect(box, nullptr, TRUE);
}

void WindowView::SelectLastResult() {
    const HWND box = GetDlgItem(window_, IDC_RESULT_LIST);
    const LRESULT count = SendMessageA(box, LB_GETCOUNT, 0, 0);
    SendMessageA(box, LB_SETCURSEL, static_cast<WPARAM>(count - 1), 0);
    if (count > 0) SendMessageA(box, LB_SETTOPINDEX, static_cast<WPARAM>(count - 1), 0);
    // Scrolling moves the pixels drawn before the count grew; the few
    // visible entries are simply drawn again.
    InvalidateRect(box, nullptr, TRUE);
}

EditableList& WindowView::Editable(ListId list) {
    return list == ListId::extensions ? static_cast<EditableList&>(state_.extensionList) : state_.patternList;
}

void WindowView::ShowEditableList(ListId list) {
    const HWND window = window_.load();
    if (window == nullptr) return;
    const HWND box = GetDlgItem(window, list == ListId::extensions ? IDC_EXT_LIST : IDC_PATTERN_LIST);
    const EditableList& entries = Editable(list);
    FillListBox(box, entries.Items());
    const std::optional<std::size_t> selection = entries.Selection();
    SendMessageA(box, LB_SETCURSEL, selection ? static_cast<WPARAM>(*selection) : static_cast<WPARAM>(-1), 0);
}

void WindowView::ShowMessage(std::string_view text, MessageIcon icon) {
    const UINT flags = MB_OK | (icon == MessageIcon::error ? MB_ICONERROR : MB_ICONINFORMATION);
    OnUi([&] { CurrentSeams().messageBox(Owner(), std::string(text), state_.caption, flags); });
}

bool WindowView::AskYesNo(std::string_view question) {
    bool yes = false;
    OnUi([&] {
        yes = CurrentSeams().messageBox(Owner(), std::string(question), state_.caption,
                                        MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
    });
    return yes;
}

void WindowView::SetStartButtonText(std::string_view text) {
    OnUi([&] { SetControlText(window_, IDC_START, text); });
}

void WindowView::EnableStartButton(bool enabled) {
    OnUi([&] { EnableControl(window_, IDC_START, enabled); });
}

void WindowView::EnablePageList(bool enabled) {
    OnUi([&] { EnableControl(window_, IDC_PAGE_LIST, enabled); });
}

void WindowView::SetStatusLabel(StatusLabel label, std::string_view text) {
    OnUi([&] { SetControlText(window_, LabelId(label), text); });
}

void WindowView::SetProgress(int percent) {
    OnUi([&] { SendDlgItemMessageA(window_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent), 0); });
}

std::string WindowView::WebSiteText() {
    std::string text;
    OnUi([&] { text = ControlText(window_, IDC_WEB_SITE); });
    return text;
}

void WindowView::SetWebSiteText(std::string_view text) {
    OnUi([&] { SetControlText(window_, IDC_WEB_SITE, text); });
}

std::string WindowView::SkipMaskText() {
    std::string text;
    OnUi([&] { text = ControlText(window_, IDC_SKIP_MASK); });
    return text;
}

void WindowView::SetSkipMaskText(std::string_view text) {
    OnUi([&] { SetControlText(window_, IDC_SKIP_MASK, text); });
}

int WindowView::GrabSelection() {
    int selection = -1;
    OnUi([&] { selection = static_cast<int>(SendDlgItemMessageA(window_, IDC_GRAB, CB_GETCURSEL, 0, 0)); });
    return selection;
}

void WindowView::SetGrabSelection(int selection) {
    // An index that names no entry leaves the box without a selection.
    OnUi([&] { SendDlgItemMessageA(window_, IDC_GRAB, CB_SETCURSEL, static_cast<WPARAM>(selection), 0); });
}

void WindowView::EnableGrabControls(bool patternControls, bool extensionControls) {
    OnUi([&] {
        for (const int id : {IDC_PATTERN_LIST, IDC_PAT_ADD, IDC_PAT_EDIT, IDC_PAT_DELETE, IDC_PAT_PRESETS, IDC_PATTERN_LABEL}) {
            EnableControl(window_, id, patternControls);
        }
        for (const int id : {IDC_EXT_LABEL, IDC_EXT_LIST, IDC_EXT_ADD, IDC_EXT_DELETE, IDC_EXT_EDIT, IDC_EXT_PRESETS}) {
            EnableControl(window_, id, extensionControls);
        }
    });
}

void WindowView::ListChanged(ListId list) {
    if (!OnUiThread()) {
        // Only the crawl worker calls from elsewhere, and it only adds pages
        // and results and moves the current row.
        Note(list == ListId::results ? kResults : kPages);
        return;
    }
    if (window_.load() == nullptr) return;
    switch (list) {
        case ListId::pages: SyncPages(); break;
        case ListId::results: RebuildResults(); break;
        case ListId::extensions:
        case ListId::patterns: ShowEditableList(list); break;
    }
}

void WindowView::ShowLastResult() {
    if (!OnUiThread()) return Note(kLastResult);
    if (window_.load() == nullptr) return;
    AppendResults();
    SelectLastResult();
}

void WindowView::Beep() {
    OnUi([] { CurrentSeams().beep(); });
}

bool WindowView::RunFileNameDialog(FileNameDialog& dialog) {
    bool named = false;
    OnUi([&] { named = ShowFileNameDialog(*this, dialog); });
    return named;
}

bool WindowView::RunLoadProjectDialog(LoadProjectDialog& dialog) {
    bool chosen = false;
    OnUi([&] { chosen = ShowLoadProjectDialog(*this, dialog); });
    return chosen;
}

std::optional<std::string> WindowView::ChooseFile(const FileChooserRequest& request) {
    std::optional<std::string> path;
    OnUi([&] { path = ShowFileChooser(Owner(), request); });
    return path;
}

}  // namespace veltrano::win32
