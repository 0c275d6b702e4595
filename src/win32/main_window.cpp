// The main window: one small handler per message, each passing the work
// to the core operation that owns it.
#include <windows.h>
#include <windowsx.h>
#include <commctrl.h>

#include <iterator>
#include <optional>
#include <string>

#include "crawl/crawl_start.h"
#include "crawl/presets.h"
#include "crawl/status.h"
#include "project/autosave.h"
#include "project/project_commands.h"
#include "project/result_files.h"
#include "resource.h"
#include "win32/com_thread.h"
#include "win32/controls.h"
#include "win32/about_box.h"
#include "win32/desktop_app.h"
#include "win32/help.h"
#include "win32/item_editor_dialog.h"
#include "win32/result_box.h"
#include "win32/shell_open.h"

namespace veltrano::win32 {
namespace {

DesktopApp& App(HWND window) { return *reinterpret_cast<DesktopApp*>(GetWindowLongPtrA(window, DWLP_USER)); }

struct PresetCommand {
    int command;
    std::string_view group;
};

constexpr PresetCommand kPresetCommands[] = {
    {IDM_PRESET_MUSIC, "music"}, {IDM_PRESET_VIDEO, "video"},     {IDM_PRESET_HTML, "html"},
    {IDM_PRESET_XML, "xml"},     {IDM_PRESET_IMAGE, "image"},     {IDM_PRESET_TORRENT, "torrent"},
    {IDM_PRESET_HTML_LINK, "html-link"},
};

HICON LoadIconSized(int id, int metricX, int metricY) {
    return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON,
                                         GetSystemMetrics(metricX), GetSystemMetrics(metricY), LR_DEFAULTCOLOR));
}

void SetUpPageList(HWND list) {
    ListView_SetExtendedListViewStyle(list, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    struct Column {
        const char* title;
        int width;
    };
    const Column columns[] = {{"Web page", 400}, {"Result", 95}};
    for (int i = 0; i < static_cast<int>(std::size(columns)); ++i) {
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<char*>(columns[i].title);
        column.cx = columns[i].width;
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
}

BOOL OnInitDialog(HWND window, HWND, LPARAM appPointer) {
    SetWindowLongPtrA(window, DWLP_USER, appPointer);
    DesktopApp& app = App(window);
    app.view.Attach(window);
    SetUpPageList(GetDlgItem(window, IDC_PAGE_LIST));
    SetUpResultBox(GetDlgItem(window, IDC_RESULT_LIST));
    // The link patterns and the page extensions are compiled with the state.
    app.presetMenus = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDM_PRESETS));
    SetWindowTextA(window, app.state.caption.c_str());
    SetTimer(window, IDT_CLOCK, 1000, nullptr);
    for (const char* mode : {"Links", "Custom", "All links"}) {
        SendDlgItemMessageA(window, IDC_GRAB, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(mode));
    }
    RestoreAutosave(app.state);
    ApplyGrabMode(app.state);
    SendMessageA(window, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadIconSized(IDI_SMALL, SM_CXSMICON, SM_CYSMICON)));
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(LoadIconSized(IDI_LARGE, SM_CXICON, SM_CYICON)));
    return TRUE;
}

// While the worker finishes its page it may still ask the window for
// things; only those requests are served, not the user's input. A server
// that stalls must not hold the close for long: after a while the page in
// flight is left as it is, its row still empty, and fetched again later.
void WaitForWorker(const AppState& state) {
    constexpr DWORD kPatience = 10'000;
    const ULONGLONG start = GetTickCount64();
    while (state.workerActive && GetTickCount64() - start < kPatience) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_SENDMESSAGE);
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// True when the close goes on; the default handling then ends the window.
bool CloseSequence(HWND window) {
    AppState& state = App(window).state;
    if (state.crawlRunning && !App(window).view.AskYesNo("Break search process. Are you sure?")) return false;
    if (state.modified && state.workerActive) {
        // A project saved while the worker is inside a page could hold the
        // page as done without all of its links: let it finish first.
        state.crawlRunning = false;
        EnableWindow(window, FALSE);
        WaitForWorker(state);
        EnableWindow(window, TRUE);
    }
    PromptSaveChanges(state);
    return true;
}

void DeleteSelectedEntry(HWND window, int boxId, EditableList& list, ListId id) {
    const LRESULT selection = SendDlgItemMessageA(window, boxId, LB_GETCURSEL, 0, 0);
    if (selection != LB_ERR) list.Erase(static_cast<std::size_t>(selection));
    list.Select(std::nullopt);
    App(window).view.ShowEditableList(id);
}

void ClearList(HWND window, EditableList& list, ListId id) {
    if (list.Count() == 0) return;
    if (!App(window).view.AskYesNo("Delete all items. Are you sure?")) return;
    list.Clear();
    App(window).view.ShowEditableList(id);
}

void PopUpPresets(HWND window, int popup) {
    POINT cursor{};
    GetCursorPos(&cursor);
    TrackPopupMenu(GetSubMenu(App(window).presetMenus, popup), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, cursor.x,
                   cursor.y, 0, window, nullptr);
}

void AddPreset(HWND window, std::string_view name) {
    AppState& state = App(window).state;
    const PresetGroup& group = *FindPresetGroup(name);
    AddPresetGroup(group, group.patterns ? static_cast<EditableList&>(state.patternList) : state.extensionList);
    App(window).view.ShowEditableList(group.patterns ? ListId::patterns : ListId::extensions);
}

void OpenSelectedResult(HWND window) {
    const LRESULT selection = SendDlgItemMessageA(window, IDC_RESULT_LIST, LB_GETCURSEL, 0, 0);
    if (selection != LB_ERR) OpenCrawledText(window, App(window).state.resultList.At(static_cast<std::size_t>(selection)));
}

void OpenCurrentPage(HWND window) {
    const int row = ListView_GetNextItem(GetDlgItem(window, IDC_PAGE_LIST), -1, LVNI_FOCUSED | LVNI_SELECTED);
    if (row < 0) return;
    OpenCrawledText(window, App(window).state.pageList.Row(static_cast<std::size_t>(row)).webPage.substr(0, kListAddressMax));
}

bool ProjectCommandsAllowed(HWND window) { return !CrawlActive(App(window).state); }

void OnCommand(HWND window, int id, HWND, UINT notification) {
    DesktopApp& app = App(window);
    AppState& state = app.state;
    switch (id) {
        case IDC_START:
            // Enter reaches here even while the button is disabled.
            if (IsWindowEnabled(GetDlgItem(window, IDC_START))) StartOrPauseCrawl(state);
            return;
        case IDCANCEL: EndDialog(window, IDCANCEL); return;
        case IDM_EXIT: SendMessageA(window, WM_CLOSE, 0, 0); return;
        case IDC_EXT_DELETE: DeleteSelectedEntry(window, IDC_EXT_LIST, state.extensionList, ListId::extensions); return;
        case IDC_PAT_DELETE: DeleteSelectedEntry(window, IDC_PATTERN_LIST, state.patternList, ListId::patterns); return;
        case IDC_EXT_CLEAR: ClearList(window, state.extensionList, ListId::extensions); return;
        case IDC_PAT_CLEAR: ClearList(window, state.patternList, ListId::patterns); return;
        case IDC_EXT_PRESETS: PopUpPresets(window, 0); return;
        case IDC_PAT_PRESETS: PopUpPresets(window, 1); return;
        case IDC_EXT_ADD: ShowItemEditor(app.view, ListId::extensions, ItemEditMode::add); return;
        case IDC_EXT_EDIT: ShowItemEditor(app.view, ListId::extensions, ItemEditMode::edit); return;
        case IDC_PAT_ADD: ShowItemEditor(app.view, ListId::patterns, ItemEditMode::add); return;
        case IDC_PAT_EDIT: ShowItemEditor(app.view, ListId::patterns, ItemEditMode::edit); return;
        case IDC_EXT_LIST:
            if (notification == LBN_DBLCLK) ShowItemEditor(app.view, ListId::extensions, ItemEditMode::edit);
            return;
        case IDC_PATTERN_LIST:
            if (notification == LBN_DBLCLK) ShowItemEditor(app.view, ListId::patterns, ItemEditMode::edit);
            return;
        case IDC_RESULT_LIST:
            if (notification == LBN_DBLCLK) OpenSelectedResult(window);
            return;
        case IDM_ABOUT: AboutBox(app.view); return;
        case IDM_USER_MANUAL: OpenUserManual(window, state.caption); return;
        case IDM_HOME_PAGE: OpenHomePage(window); return;
        case IDC_GRAB:
            if (notification == CBN_SELCHANGE) ApplyGrabMode(state);
            return;
        case IDM_LOAD_RESULTS: LoadResults(state); return;
    }
    for (const PresetCommand& preset : kPresetCommands) {
        if (id == preset.command) return AddPreset(window, preset.group);
    }
    // The menu greys these while a crawl is active; nothing else may run them then.
    if (!ProjectCommandsAllowed(window)) return;
    switch (id) {
        case IDM_NEW_PROJECT: NewProject(state); return;
        case IDM_LOAD_PROJECT: LoadProject(state); return;
        case IDM_SAVE_PROJECT: SaveProject(state); return;
        case IDM_SAVE_RESULTS: SaveResults(state); return;
    }
}

void OnClose(HWND window) {
    // Consumed unless the sequence goes on to the default handling.
    if (CloseSequence(window)) FORWARD_WM_COMMAND(window, IDCANCEL, nullptr, 0, SendMessageA);
}

void OnDestroy(HWND window) {
    DesktopApp& app = App(window);
    KillTimer(window, IDT_CLOCK);
    Autosave(app.state);
    app.view.Detach();
    DestroyMenu(app.presetMenus);
    app.presetMenus = nullptr;
}

void OnTimer(HWND window, UINT) { TimerTick(App(window).state); }

void OnDrawItem(HWND window, const DRAWITEMSTRUCT* item) {
    if (item->CtlID == IDC_RESULT_LIST) DrawResult(*item, App(window).state.resultList);
}

void OnInitMenuPopup(HWND window, HMENU menu, UINT, BOOL) {
    const MenuItemStates states = UpdateMenuState(App(window).state);
    const auto apply = [menu](int command, bool enabled) {
        EnableMenuItem(menu, static_cast<UINT>(command), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    };
    apply(IDM_NEW_PROJECT, states.newProject);
    apply(IDM_SAVE_PROJECT, states.saveProject);
    apply(IDM_LOAD_PROJECT, states.loadProject);
    apply(IDM_SAVE_RESULTS, states.saveResults);
}

void PageCellText(const AppState& state, int row, int column, std::string& text) {
    const PageRow cells = state.pageList.Row(static_cast<std::size_t>(row));
    text = column == 0 ? cells.webPage : cells.result;
}

LRESULT OnNotify(HWND window, int, LPNMHDR header) {
    switch (header->code) {
        case NM_DBLCLK: OpenCurrentPage(window); return 0;
        case LVN_GETDISPINFOA: {
            LVITEMA& item = reinterpret_cast<NMLVDISPINFOA*>(header)->item;
            if ((item.mask & LVIF_TEXT) == 0 || item.cchTextMax <= 0) return 0;
            std::string text;
            PageCellText(App(window).state, item.iItem, item.iSubItem, text);
            lstrcpynA(item.pszText, text.c_str(), item.cchTextMax);
            return 0;
        }
        case LVN_GETDISPINFOW: {
            LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
            if ((item.mask & LVIF_TEXT) == 0 || item.cchTextMax <= 0) return 0;
            std::string text;
            PageCellText(App(window).state, item.iItem, item.iSubItem, text);
            lstrcpynW(item.pszText, WideFromAnsi(text).c_str(), item.cchTextMax);
            return 0;
        }
    }
    return 0;
}

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return HANDLE_WM_INITDIALOG(window, wParam, lParam, OnInitDialog);
        case WM_COMMAND: HANDLE_WM_COMMAND(window, wParam, lParam, OnCommand); return TRUE;
        case WM_NOTIFY: return SetDlgMsgResult(window, message, HANDLE_WM_NOTIFY(window, wParam, lParam, OnNotify));
        case WM_CLOSE: HANDLE_WM_CLOSE(window, wParam, lParam, OnClose); return TRUE;
        case WM_DESTROY: HANDLE_WM_DESTROY(window, wParam, lParam, OnDestroy); return TRUE;
        case WM_TIMER: HANDLE_WM_TIMER(window, wParam, lParam, OnTimer); return TRUE;
        case WM_DRAWITEM: HANDLE_WM_DRAWITEM(window, wParam, lParam, OnDrawItem); return TRUE;
        case WM_INITMENUPOPUP: HANDLE_WM_INITMENUPOPUP(window, wParam, lParam, OnInitMenuPopup); return TRUE;
        case WM_APP_RUN: (*reinterpret_cast<const std::function<void()>*>(lParam))(); return TRUE;
        case WM_APP_SYNC: App(window).view.Sync(); return TRUE;
    }
    return FALSE;
}

}  // namespace

DesktopApp::DesktopApp() {
    state.view = &view;
    state.downloader = &downloader;
    state.startThread = StartComThread;
}

INT_PTR RunMainWindow(DesktopApp& app) {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainWindowProc,
                           reinterpret_cast<LPARAM>(&app));
}

}  // namespace veltrano::win32
