// Drives the desktop program's real main window, its modal loop on a thread of its own, by window messages, and reads
// its controls back. Message boxes, the shell, the file chooser and the beep are recorded instead.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>

#include "crawl/crawl_worker.h"
#include "resource.h"
#include "test_support.h"
#include "win32/desktop_app.h"
#include "win32/seams.h"

namespace veltrano::testing {

// owner, title, default extension, flags, filter (with its NUL separators), size of the file buffer
using ChooserRequest = std::tuple<HWND, std::string, std::string, DWORD, std::string, DWORD>;

inline bool WaitFor(const auto& condition, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    for (const auto end = std::chrono::steady_clock::now() + limit; !condition(); Sleep(5)) if (std::chrono::steady_clock::now() > end) return false;
    return true;
}
inline bool Closes(HWND dialog) { return WaitFor([dialog] { return !IsWindow(dialog); }, std::chrono::seconds(10)); }
inline void Press(HWND dialog, int button) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }
inline bool Submit(HWND dialog, int field, const std::string& text) {  // types into a field and presses OK: true once closed
    SetDlgItemTextA(dialog, field, text.c_str());
    Press(dialog, IDOK);
    return Closes(dialog);
}
inline std::string Title(HWND window) { char text[2048] = ""; GetWindowTextA(window, text, sizeof text); return text; }
inline std::string ItemText(HWND dialog, int id) { return Title(GetDlgItem(dialog, id)); }
inline Texts ListBoxItems(HWND box) {
    Texts items;
    char item[1100];
    for (WPARAM i = 0; i < static_cast<WPARAM>(SendMessageA(box, LB_GETCOUNT, 0, 0)); ++i)
        items.push_back(SendMessageA(box, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item)) == LB_ERR ? "(none)" : item);
    return items;
}
struct DesktopHarness {
    explicit DesktopHarness(bool inFreshFolder = true) {
        if (inFreshFolder) folder.emplace();
        win32::CurrentSeams() = {
            // Said as "text [kind]": i (information), ? (question, No by default), ! (error) or else the flags;
            // then the owner's title unless the main window owns it, and the caption unless "Veltrano".
            [this](HWND owner, const std::string& text, const std::string& caption, UINT flags) {
                std::string kind = flags == (MB_OK | MB_ICONINFORMATION) ? "i" : flags == (MB_OK | MB_ICONERROR) ? "!"
                                 : flags == (MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) ? "?" : std::to_string(flags);
                if (owner != app.view.Window()) kind += " " + (Title(owner).empty() ? "(untitled)" : Title(owner));
                Record(said_, text + " [" + kind + (caption == "Veltrano" ? "" : " " + caption) + "]");
                return (flags & MB_TYPEMASK) != MB_YESNO ? IDOK : NextReply() == "Yes" ? IDYES : IDNO;
            },
            [this](HWND, const std::string& file, const std::string& arguments) { Record(opened_, arguments.empty() ? file : file + " " + arguments); },
            [this] { Record(said_, "(beep)"); },
            [this](OPENFILENAMEA& request) {
                std::string filter, extension = request.lpstrDefExt ? request.lpstrDefExt : "";
                for (const char* part = request.lpstrFilter; *part; part += std::strlen(part) + 1) filter.append(part).push_back('\0');
                Locked([&] { requests_.emplace_back(request.hwndOwner, request.lpstrTitle, extension, request.Flags, filter, request.nMaxFile); });
                const std::optional<std::string> path = NextReply();
                if (path) lstrcpynA(request.lpstrFile, path->c_str(), static_cast<int>(request.nMaxFile));
                return path.has_value();
            }};
        ui_ = std::thread([this] {
            CoInitialize(nullptr);
            const INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
            InitCommonControlsEx(&classes);
            result = win32::RunMainWindow(app);
            CoUninitialize();
        });
        WaitFor([this] { return (window = app.view.Window()) != nullptr; });
        SendMessageA(window, WM_NULL, 0, 0);  // answered once the window is set up and its loop runs
    }
    ~DesktopHarness() {  // cancels the window and any dialog it still shows
        app.state.crawlRunning = false;
        const auto cancel = [](HWND shown, LPARAM) { return PostMessageA(shown, WM_COMMAND, IDCANCEL, 0); };
        if (IsWindow(window)) EnumThreadWindows(GetWindowThreadProcessId(window, nullptr), cancel, 0);
        if (ui_.joinable()) ui_.join();
        WaitForCrawlWorker(app.state);
        win32::CurrentSeams() = saved_;
    }

    // The user's next answers: "Yes" (else No) to a question, a file or nothing (Cancel) to a chooser; then No, Cancel.
    void Reply(std::initializer_list<std::optional<std::string>> replies) { Locked([&] { replies_.insert(replies_.end(), replies); }); }
    Texts Said() const { return Locked([&] { return said_; }); }
    bool WaitUntilSaid(std::size_t count) const { return WaitFor([&] { return Said().size() >= count; }); }
    Texts Opened() const { return Locked([&] { return opened_; }); }  // "file parameters"
    std::vector<ChooserRequest> ChooserRequests() const { return Locked([&] { return requests_; }); }

    HWND Item(int id) const { return GetDlgItem(window, id); }
    LRESULT Send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return SendMessageA(Item(id), message, wParam, lParam); }
    // A command as the control or menu item `id` sends it; Post does not wait for it to be handled.
    void Command(int id, UINT code = BN_CLICKED) { SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(Item(id))); }
    void Post(int id, UINT code = BN_CLICKED) { PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(Item(id))); }
    HWND Open(int id, const char* title, UINT code = BN_CLICKED) {  // the dialog the command opens, once it shows
        Post(id, code);
        HWND dialog = nullptr;
        const auto shown = [&] { return (dialog = FindWindowA("#32770", title)) && GetWindow(dialog, GW_OWNER) == window && IsWindowVisible(dialog); };
        return WaitFor(shown, std::chrono::seconds(10)) ? dialog : nullptr;
    }
    void PressKey(int id, UINT key) { PostMessageA(Item(id), WM_KEYDOWN, key, 0); PostMessageA(Item(id), WM_KEYUP, key, 0); }  // via the loop
    std::string Text(int id) const { return ItemText(window, id); }
    void SetText(int id, const std::string& text) { SetDlgItemTextA(window, id, text.c_str()); }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    Texts Shown(std::initializer_list<int> ids) const {  // the controls' texts, with " [off]" while disabled
        Texts shown;
        for (int id : ids) shown.push_back(Text(id) + (Enabled(id) ? "" : " [off]"));
        return shown;
    }
    void Start(const std::string& address) { SetText(IDC_WEB_SITE, address); Command(IDC_START); }
    void ChooseGrabMode(int index) { Send(IDC_GRAB, CB_SETCURSEL, static_cast<WPARAM>(index)); Command(IDC_GRAB, CBN_SELCHANGE); }
    bool MenuItemGreyed(int position, int command) {  // when the menu bar's popup at `position` opens
        const HMENU popup = GetSubMenu(GetMenu(window), position);
        SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(position, FALSE));
        return (GetMenuState(popup, static_cast<UINT>(command), MF_BYCOMMAND) & MF_GRAYED) != 0;
    }
    Texts PageRows() const {  // each row's "Web page" and "Result"
        Texts rows;
        char page[1100], outcome[100];
        for (int row = 0; row < Send(IDC_PAGE_LIST, LVM_GETITEMCOUNT); ++row) {
            ListView_GetItemText(Item(IDC_PAGE_LIST), row, 0, page, sizeof page);
            ListView_GetItemText(Item(IDC_PAGE_LIST), row, 1, outcome, sizeof outcome);
            rows.push_back(std::string(page) + " " + outcome);
        }
        return rows;
    }
    Texts ResultItems() {  // as many as the result box counts, each drawn from the core's list
        Texts items = app.state.resultList.Items();
        items.resize(std::min(items.size(), static_cast<std::size_t>(Send(IDC_RESULT_LIST, LB_GETCOUNT))));
        return items;
    }
    void Flush() { SendMessageA(window, win32::WM_APP_SYNC, 0, 0); }  // the window shows what the worker noted
    bool WaitForCrawlEnd() { const bool ended = WaitFor([this] { return !app.state.workerActive; }); Flush(); return ended; }
    bool WaitForWindowEnd() { if (!WaitFor([this] { return !IsWindow(window); })) return false; ui_.join(); return true; }  // sets `result`

    std::optional<ScopedWorkingDirectory> folder;  // declared first: it outlives the window and its worker
    win32::DesktopApp app;
    HWND window = nullptr;
    INT_PTR result = 0;

private:
    auto Locked(const auto& action) const -> decltype(action()) { const std::lock_guard lock(mutex_); return action(); }
    void Record(Texts& log, const std::string& entry) { Locked([&] { log.push_back(entry); }); }
    std::optional<std::string> NextReply() { return Locked([&] { return replied_ < replies_.size() ? replies_[replied_++] : std::nullopt; }); }

    mutable std::mutex mutex_;
    Texts said_, opened_;
    std::vector<ChooserRequest> requests_;
    std::vector<std::optional<std::string>> replies_;
    std::size_t replied_ = 0;
    win32::Seams saved_ = win32::CurrentSeams();
    std::thread ui_;
};

}  // namespace veltrano::testing
