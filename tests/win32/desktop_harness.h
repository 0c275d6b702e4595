// Drives the real main window of the desktop program inside the test
// process: the window runs its modal loop on a thread of its own, the test
// sends it window messages and reads its controls back. Message boxes, the
// shell, the file chooser and the beep are recorded instead.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "crawl/crawl_worker.h"
#include "resource.h"
#include "win32/desktop_app.h"
#include "win32/seams.h"

namespace veltrano::testing {

using Texts = std::vector<std::string>;
using Rows = std::vector<std::pair<std::string, std::string>>;

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

// A fresh folder as the working directory while it lives.
class ScratchFolder {
public:
    ScratchFolder() {
        static int made = 0;
        std::filesystem::remove_all(path_ += std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made));
        std::filesystem::create_directories(path_);
        std::filesystem::current_path(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

private:
    std::filesystem::path previous_ = std::filesystem::current_path();
    std::filesystem::path path_ = std::filesystem::temp_directory_path() / "veltrano-desktop-";
};

struct ShownMessage {
    HWND owner;
    std::string text, caption;
    UINT flags;
    bool operator==(const ShownMessage&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const ShownMessage& shown) {
        return out << '"' << shown.text << "\" (" << shown.caption << ", flags " << shown.flags << ", owner " << shown.owner << ')';
    }
};

struct ChooserRequest {
    HWND owner;
    std::string filter, title, defaultExtension;  // the filter with its NUL separators
    DWORD maxFile, flags;
};

// What the program showed or asked for outside its own window, in order.
struct Record {
    std::vector<ShownMessage> messages;
    Texts opened;  // "file parameters"
    std::vector<ChooserRequest> chooserRequests;
    int beeps = 0;
};

class DesktopHarness {
public:
    // Works in a scratch folder of its own, or in `folder` if given.
    explicit DesktopHarness(const std::filesystem::path& folder = {}) {
        if (folder.empty()) scratch_.emplace(); else std::filesystem::current_path(folder);
        win32::Seams& seams = win32::CurrentSeams();
        seams.messageBox = [this](HWND owner, const std::string& text, const std::string& caption, UINT flags) {
            const std::lock_guard lock(mutex_);
            record_.messages.push_back({owner, text, caption, flags});
            return (flags & MB_TYPEMASK) != MB_YESNO ? IDOK : Next(answers_).value_or(false) ? IDYES : IDNO;
        };
        seams.shellOpen = [this](HWND, const std::string& file, const std::string& parameters) {
            const std::lock_guard lock(mutex_);
            record_.opened.push_back(parameters.empty() ? file : file + " " + parameters);
        };
        seams.chooseFile = [this](OPENFILENAMEA& request) {
            const std::lock_guard lock(mutex_);
            std::string filter;
            for (const char* part = request.lpstrFilter; *part; part += std::strlen(part) + 1) filter.append(part).push_back('\0');
            record_.chooserRequests.push_back({request.hwndOwner, filter, request.lpstrTitle,
                                               request.lpstrDefExt ? request.lpstrDefExt : "", request.nMaxFile, request.Flags});
            const std::optional<std::string> path = Next(paths_).value_or(std::nullopt);
            if (path) lstrcpynA(request.lpstrFile, path->c_str(), static_cast<int>(request.nMaxFile));
            return path.has_value();
        };
        seams.beep = [this] {
            const std::lock_guard lock(mutex_);
            ++record_.beeps;
        };
        ui_ = std::thread([this] {
            CoInitialize(nullptr);
            INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
            InitCommonControlsEx(&classes);
            result_ = win32::RunMainWindow(app_);
            CoUninitialize();
        });
        WaitFor([this] { return app_.view.Window() != nullptr; });
        window_ = app_.view.Window();
    }
    ~DesktopHarness() {
        app_.state.crawlRunning = false;
        if (IsWindow(window_)) PostMessageA(window_, WM_COMMAND, IDCANCEL, 0);
        if (ui_.joinable()) ui_.join();
        WaitForCrawlWorker(app_.state);
        win32::CurrentSeams() = saved_;
    }
    DesktopHarness(const DesktopHarness&) = delete;
    DesktopHarness& operator=(const DesktopHarness&) = delete;

    // The answers to the next Yes/No questions, in order; No once they run out.
    void Answer(std::initializer_list<bool> answers) { Queue(answers_, answers); }
    // The files the next choosers return, in order; nothing cancels, as
    // does a chooser once they run out.
    void Choose(std::initializer_list<std::optional<std::string>> paths) { Queue(paths_, paths); }
    Record Seen() const {
        const std::lock_guard lock(mutex_);
        return record_;
    }
    Texts Said() const {
        Texts texts;
        for (const ShownMessage& message : Seen().messages) texts.push_back(message.text);
        return texts;
    }
    bool WaitUntilSaid(std::size_t count) const {
        return WaitFor([&] { return Said().size() >= count; }, std::chrono::seconds(10));
    }

    AppState& State() { return app_.state; }
    HWND Window() const { return window_; }
    HWND Item(int id) const { return GetDlgItem(window_, id); }
    LRESULT Send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendMessageA(Item(id), message, wParam, lParam);
    }
    // A command as the control or menu item with this id sends it.
    void Command(int id, UINT notification = BN_CLICKED) {
        SendMessageA(window_, WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(Item(id)));
    }
    // The same, without waiting for it to be handled (for commands that open modal dialogs).
    void Post(int id, UINT notification = BN_CLICKED) {
        PostMessageA(window_, WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(Item(id)));
    }
    // The modal dialog with this title that the command opens, once it
    // shows; null when none did within a few seconds.
    HWND Open(int id, const char* title, UINT notification = BN_CLICKED) {
        Post(id, notification);
        HWND dialog = nullptr;
        WaitFor([&] {
            dialog = FindWindowA("#32770", title);
            return dialog && GetWindow(dialog, GW_OWNER) == window_ && IsWindowVisible(dialog);
        }, std::chrono::seconds(10));
        return dialog;
    }
    // Runs `job` on the window's thread, between two of its messages.
    void OnUiThread(const std::function<void()>& job) { SendMessageA(window_, win32::WM_APP_RUN, 0, reinterpret_cast<LPARAM>(&job)); }
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

    // The page list as the list view shows it: "Web page" and "Result".
    Rows PageRows() const {
        Rows rows;
        for (int row = 0, count = static_cast<int>(Send(IDC_PAGE_LIST, LVM_GETITEMCOUNT)); row < count; ++row) {
            char cells[2][1100] = {};
            for (int column = 0; column < 2; ++column) {
                LVITEMA item{};
                item.iSubItem = column;
                item.pszText = cells[column];
                item.cchTextMax = sizeof cells[column];
                Send(IDC_PAGE_LIST, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
            }
            rows.emplace_back(cells[0], cells[1]);
        }
        return rows;
    }
    // The row that is focused and selected, or -1.
    LRESULT CurrentPageRow() const {
        return Send(IDC_PAGE_LIST, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED | LVNI_SELECTED);
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
    void Queue(std::deque<T>& queue, std::initializer_list<T> items) {
        const std::lock_guard lock(mutex_);
        queue.insert(queue.end(), items);
    }
    template <class T>
    static std::optional<T> Next(std::deque<T>& queue) {
        if (queue.empty()) return std::nullopt;
        T next = std::move(queue.front());
        queue.pop_front();
        return next;
    }

    mutable std::mutex mutex_;
    Record record_;
    std::deque<bool> answers_;
    std::deque<std::optional<std::string>> paths_;
    win32::Seams saved_ = win32::CurrentSeams();
    std::optional<ScratchFolder> scratch_;
    win32::DesktopApp app_;
    HWND window_ = nullptr;
    INT_PTR result_ = 0;
    std::thread ui_;
};

}  // namespace veltrano::testing
