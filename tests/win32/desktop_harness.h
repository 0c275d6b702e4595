// Drives the real main window of the desktop program inside the test
// process: the window runs its modal loop on a thread of its own, the test
// sends it window messages and reads its controls back. Message boxes, the
// shell, the file chooser and the beep are recorded instead.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>

#include "crawl/crawl_worker.h"
#include "resource.h"
#include "win32/desktop_app.h"
#include "win32/seams.h"

namespace veltrano::testing {

using Texts = std::vector<std::string>;
using ShownMessage = std::tuple<HWND, std::string, std::string, UINT>;  // owner, text, caption, flags
// owner, title, default extension, flags, filter (with its NUL separators), size of the file buffer
using ChooserRequest = std::tuple<HWND, std::string, std::string, DWORD, std::string, DWORD>;

// True when `condition` held within `limit`, checked every few milliseconds.
inline bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    for (const auto end = std::chrono::steady_clock::now() + limit; !condition(); Sleep(5)) {
        if (std::chrono::steady_clock::now() > end) return false;
    }
    return true;
}

inline std::string FileText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Makes a fresh folder the working directory; the folders made go when the process ends.
inline void EnterFreshFolder() {
    static const auto root = std::filesystem::temp_directory_path() / ("veltrano-desktop-" + std::to_string(GetCurrentProcessId()));
    static const struct Cleanup {
        ~Cleanup() {
            std::error_code ignored;
            std::filesystem::current_path(root.parent_path(), ignored);
            std::filesystem::remove_all(root, ignored);
        }
    } cleanup;
    static int made = 0;
    std::filesystem::create_directories(root / std::to_string(++made));
    std::filesystem::current_path(root / std::to_string(made));
}

inline void Press(HWND dialog, int button) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }

class DesktopHarness {
public:
    // Works in a fresh folder, or in the working folder if told so.
    explicit DesktopHarness(bool freshFolder = true) {
        if (freshFolder) EnterFreshFolder();
        win32::CurrentSeams() = {
            [this](HWND owner, const std::string& text, const std::string& caption, UINT flags) {
                const std::lock_guard lock(mutex_);
                messages_.emplace_back(owner, text, caption, flags);
                return (flags & MB_TYPEMASK) != MB_YESNO ? IDOK : NextReply() == "Yes" ? IDYES : IDNO;
            },
            [this](HWND, const std::string& file, const std::string& parameters) {
                const std::lock_guard lock(mutex_);
                opened_.push_back(parameters.empty() ? file : file + " " + parameters);
            },
            [this] {
                const std::lock_guard lock(mutex_);
                ++beeps_;
            },
            [this](OPENFILENAMEA& request) {
                const std::lock_guard lock(mutex_);
                std::string filter;
                for (const char* part = request.lpstrFilter; *part; part += std::strlen(part) + 1) filter.append(part).push_back('\0');
                requests_.emplace_back(request.hwndOwner, request.lpstrTitle, request.lpstrDefExt ? request.lpstrDefExt : "",
                                       request.Flags, filter, request.nMaxFile);
                const std::optional<std::string> path = NextReply();
                if (path) lstrcpynA(request.lpstrFile, path->c_str(), static_cast<int>(request.nMaxFile));
                return path.has_value();
            }};
        ui_ = std::thread([this] {
            CoInitialize(nullptr);
            INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
            InitCommonControlsEx(&classes);
            result_ = win32::RunMainWindow(app_);
            CoUninitialize();
        });
        WaitFor([this] { return (window_ = app_.view.Window()) != nullptr; });
    }
    // Cancels the window and any dialog it still shows.
    ~DesktopHarness() {
        app_.state.crawlRunning = false;
        const auto cancel = [](HWND window, LPARAM) { return PostMessageA(window, WM_COMMAND, IDCANCEL, 0); };
        if (IsWindow(window_)) EnumThreadWindows(GetWindowThreadProcessId(window_, nullptr), cancel, 0);
        if (ui_.joinable()) ui_.join();
        WaitForCrawlWorker(app_.state);
        win32::CurrentSeams() = saved_;
    }

    // What the user answers next, in order: "Yes" (or anything else, meaning No) to a
    // question, a file or nothing (Cancel) to a file chooser. Once they run out: No, Cancel.
    void Reply(std::initializer_list<std::optional<std::string>> replies) {
        const std::lock_guard lock(mutex_);
        replies_.insert(replies_.end(), replies);
    }
    std::vector<ShownMessage> Messages() const { return Copy(messages_); }
    Texts Said() const {
        Texts texts;
        for (const ShownMessage& message : Messages()) texts.push_back(std::get<1>(message));
        return texts;
    }
    bool WaitUntilSaid(std::size_t count) const { return WaitFor([&] { return Said().size() >= count; }); }
    Texts Opened() const { return Copy(opened_); }
    std::vector<ChooserRequest> ChooserRequests() const { return Copy(requests_); }
    int Beeps() const { return Copy(beeps_); }

    AppState& State() { return app_.state; }
    HWND Window() const { return window_; }
    HWND Item(int id) const { return GetDlgItem(window_, id); }
    LRESULT Send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return SendMessageA(Item(id), message, wParam, lParam); }
    // A command as the control or menu item with this id sends it; Post does not wait for it to be handled.
    void Command(int id, UINT notification = BN_CLICKED) { SendMessageA(window_, WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(Item(id))); }
    void Post(int id, UINT notification = BN_CLICKED) { PostMessageA(window_, WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(Item(id))); }
    // The modal dialog with this title that the command opens, once it shows; null when none did.
    HWND Open(int id, const char* title, UINT notification = BN_CLICKED) {
        Post(id, notification);
        HWND dialog = nullptr;
        WaitFor([&] { return (dialog = FindWindowA("#32770", title)) && GetWindow(dialog, GW_OWNER) == window_ && IsWindowVisible(dialog); },
                std::chrono::seconds(10));
        return dialog;
    }
    // A key pressed in a control, through the window's own message loop (so
    // that Enter and Esc reach the dialog's default handling).
    void PressKey(int id, UINT key) {
        PostMessageA(Item(id), WM_KEYDOWN, key, 0);
        PostMessageA(Item(id), WM_KEYUP, key, 0);
    }
    std::string Text(int id) const {
        char text[2048] = "";
        GetWindowTextA(Item(id), text, sizeof text);
        return text;
    }
    void SetText(int id, const std::string& text) { SetWindowTextA(Item(id), text.c_str()); }
    void Start(const std::string& address) {
        SetText(IDC_WEB_SITE, address);
        Command(IDC_START);
    }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    // Chooses an entry of the "Grab:" box the way the user does.
    void ChooseGrabMode(int index) {
        Send(IDC_GRAB, CB_SETCURSEL, static_cast<WPARAM>(index));
        Command(IDC_GRAB, CBN_SELCHANGE);
    }
    // Whether the item `command` of the menu bar's popup at `position` is greyed when that popup opens.
    bool MenuItemGreyed(int position, int command) {
        const HMENU popup = GetSubMenu(GetMenu(window_), position);
        SendMessageA(window_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(position, FALSE));
        return (GetMenuState(popup, static_cast<UINT>(command), MF_BYCOMMAND) & MF_GRAYED) != 0;
    }
    // The page list as the list view shows it: each row's "Web page" and "Result".
    Texts PageRows() const {
        Texts rows;
        for (int row = 0; row < Send(IDC_PAGE_LIST, LVM_GETITEMCOUNT); ++row) {
            char cells[2][1100] = {};
            for (int column : {0, 1}) ListView_GetItemText(Item(IDC_PAGE_LIST), row, column, cells[column], sizeof cells[column]);
            rows.push_back(std::string(cells[0]) + " " + cells[1]);
        }
        return rows;
    }
    Texts ListBoxItems(int id) const { return ListBoxItems(Item(id)); }
    static Texts ListBoxItems(HWND box) {
        Texts items(static_cast<std::size_t>(SendMessageA(box, LB_GETCOUNT, 0, 0)));
        for (std::size_t i = 0; i < items.size(); ++i) {
            items[i].resize(static_cast<std::size_t>(SendMessageA(box, LB_GETTEXTLEN, i, 0)));
            SendMessageA(box, LB_GETTEXT, i, reinterpret_cast<LPARAM>(items[i].data()));
        }
        return items;
    }
    // The entries the result box shows: as many as it counts, each drawn from the core's list.
    Texts ResultItems() {
        Texts items = app_.state.resultList.Items();
        items.resize(std::min(items.size(), static_cast<std::size_t>(Send(IDC_RESULT_LIST, LB_GETCOUNT))));
        return items;
    }

    // Brings the window up to date with what the worker noted.
    void Flush() { SendMessageA(window_, win32::WM_APP_SYNC, 0, 0); }
    // Waits until no crawl worker is active, then flushes.
    bool WaitForCrawlEnd() {
        const bool ended = WaitFor([this] { return !app_.state.workerActive; });
        Flush();
        return ended;
    }
    // True once the window has ended and its thread is over; Result() then.
    bool WaitForWindowEnd() {
        if (!WaitFor([this] { return !IsWindow(window_); })) return false;
        ui_.join();
        return true;
    }
    INT_PTR Result() const { return result_; }

private:
    template <class T>
    T Copy(const T& record) const {
        const std::lock_guard lock(mutex_);
        return record;
    }
    std::optional<std::string> NextReply() {
        if (replies_.empty()) return std::nullopt;
        const std::optional<std::string> reply = replies_.front();
        replies_.pop_front();
        return reply;
    }

    mutable std::mutex mutex_;
    std::vector<ShownMessage> messages_;
    Texts opened_;  // "file parameters"
    std::vector<ChooserRequest> requests_;
    int beeps_ = 0;
    std::deque<std::optional<std::string>> replies_;
    win32::Seams saved_ = win32::CurrentSeams();
    win32::DesktopApp app_;
    HWND window_ = nullptr;
    INT_PTR result_ = 0;
    std::thread ui_;
};

}  // namespace veltrano::testing
