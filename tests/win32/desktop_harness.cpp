#include "desktop_harness.h"

#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "crawl/crawl_worker.h"
#include "resource.h"

namespace veltrano::testing {

Recorder::Recorder() : saved_(win32::CurrentSeams()) {
    win32::Seams& seams = win32::CurrentSeams();
    seams.messageBox = [this](HWND owner, const std::string& text, const std::string& caption, UINT flags) {
        const std::lock_guard lock(mutex_);
        messages_.push_back({owner, text, caption, flags});
        if ((flags & MB_TYPEMASK) != MB_YESNO) return IDOK;
        const bool yes = !answers_.empty() && answers_.front();
        if (!answers_.empty()) answers_.pop_front();
        return yes ? IDYES : IDNO;
    };
    seams.shellOpen = [this](HWND, const std::string& file, const std::string& parameters) {
        const std::lock_guard lock(mutex_);
        opened_.push_back(parameters.empty() ? file : file + " " + parameters);
    };
    seams.chooseFile = [this](OPENFILENAMEA& request) {
        const std::lock_guard lock(mutex_);
        std::string filter;
        for (const char* part = request.lpstrFilter; part && *part; part += std::strlen(part) + 1) {
            filter.append(part).push_back('\0');
        }
        chooserRequests_.push_back({request.hwndOwner, filter, request.lpstrTitle ? request.lpstrTitle : "",
                                    request.lpstrDefExt ? request.lpstrDefExt : "", request.lpstrFile,
                                    request.nMaxFile, request.Flags});
        const std::optional<std::string> path = paths_.empty() ? std::nullopt : paths_.front();
        if (!paths_.empty()) paths_.pop_front();
        if (!path) return false;
        lstrcpynA(request.lpstrFile, path->c_str(), static_cast<int>(request.nMaxFile));
        return true;
    };
    seams.beep = [this] {
        const std::lock_guard lock(mutex_);
        ++beeps_;
    };
}

Recorder::~Recorder() { win32::CurrentSeams() = saved_; }

void Recorder::Answer(std::initializer_list<bool> answers) {
    const std::lock_guard lock(mutex_);
    answers_.insert(answers_.end(), answers);
}

std::vector<ShownMessage> Recorder::Messages() const {
    const std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::string> Recorder::MessageTexts() const {
    std::vector<std::string> texts;
    for (const ShownMessage& message : Messages()) texts.push_back(message.text);
    return texts;
}

std::vector<std::string> Recorder::Opened() const {
    const std::lock_guard lock(mutex_);
    return opened_;
}

void Recorder::Choose(std::initializer_list<std::optional<std::string>> paths) {
    const std::lock_guard lock(mutex_);
    paths_.insert(paths_.end(), paths);
}

std::vector<ChooserRequest> Recorder::ChooserRequests() const {
    const std::lock_guard lock(mutex_);
    return chooserRequests_;
}

int Recorder::Beeps() const {
    const std::lock_guard lock(mutex_);
    return beeps_;
}

ScratchFolder::ScratchFolder() : previous_(std::filesystem::current_path()) {
    static int made = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("veltrano-desktop-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        Sleep(5);
    }
    return true;
}

std::string FileText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

DesktopHarness::DesktopHarness(const std::filesystem::path& workingFolder) {
    if (workingFolder.empty()) {
        scratch_.emplace();
    } else {
        std::filesystem::current_path(workingFolder);
    }
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

DesktopHarness::~DesktopHarness() {
    app_.state.crawlRunning = false;
    if (IsWindow(window_)) PostMessageA(window_, WM_COMMAND, IDCANCEL, 0);
    if (ui_.joinable()) ui_.join();
    WaitForCrawlWorker(app_.state);
}

void DesktopHarness::Command(int id, UINT notification) {
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(Item(id)));
}

void DesktopHarness::PostCommand(int id) {
    PostMessageA(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(id)));
}

void DesktopHarness::OnUiThread(const std::function<void()>& job) {
    SendMessageA(window_, win32::WM_APP_RUN, 0, reinterpret_cast<LPARAM>(&job));
}

void DesktopHarness::PressKey(int id, UINT key) {
    PostMessageA(Item(id), WM_KEYDOWN, key, 0);
    PostMessageA(Item(id), WM_KEYUP, key, 0);
    Flush();
}

std::string DesktopHarness::Text(int id) const {
    char text[2048] = "";
    SendMessageA(Item(id), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

void DesktopHarness::SetText(int id, std::string_view text) {
    const std::string copy(text);
    SendMessageA(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str()));
}

bool DesktopHarness::Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }

void DesktopHarness::ChooseGrabMode(int index) {
    SendMessageA(Item(IDC_GRAB), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    Command(IDC_GRAB, CBN_SELCHANGE);
}

bool DesktopHarness::MenuItemGreyed(int position, int command) {
    const HMENU popup = GetSubMenu(GetMenu(window_), position);
    SendMessageA(window_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(position, FALSE));
    return (GetMenuState(popup, static_cast<UINT>(command), MF_BYCOMMAND) & MF_GRAYED) != 0;
}

std::vector<std::pair<std::string, std::string>> DesktopHarness::PageRows() const {
    std::vector<std::pair<std::string, std::string>> rows;
    for (int row = 0, count = PageRowCount(); row < count; ++row) rows.push_back(PageRow(row));
    return rows;
}

std::pair<std::string, std::string> DesktopHarness::PageRow(int row) const {
    char cells[2][1100] = {};
    for (int column = 0; column < 2; ++column) {
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = cells[column];
        item.cchTextMax = sizeof cells[column];
        SendMessageA(Item(IDC_PAGE_LIST), LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }
    return {cells[0], cells[1]};
}

int DesktopHarness::PageRowCount() const {
    return static_cast<int>(SendMessageA(Item(IDC_PAGE_LIST), LVM_GETITEMCOUNT, 0, 0));
}

int DesktopHarness::CurrentPageRow() const {
    return static_cast<int>(
        SendMessageA(Item(IDC_PAGE_LIST), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED | LVNI_SELECTED));
}

std::vector<std::string> DesktopHarness::ListBoxItems(int id) const {
    const HWND box = Item(id);
    const int count = static_cast<int>(SendMessageA(box, LB_GETCOUNT, 0, 0));
    std::vector<std::string> items;
    for (int item = 0; item < count; ++item) {
        std::string text(static_cast<std::size_t>(SendMessageA(box, LB_GETTEXTLEN, static_cast<WPARAM>(item), 0)), '\0');
        SendMessageA(box, LB_GETTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(text.data()));
        items.push_back(text);
    }
    return items;
}

std::vector<std::string> DesktopHarness::ResultItems() {
    const std::size_t shown = static_cast<std::size_t>(SendMessageA(Item(IDC_RESULT_LIST), LB_GETCOUNT, 0, 0));
    std::vector<std::string> items = app_.state.resultList.Items();
    items.resize(std::min(items.size(), shown));
    return items;
}

int DesktopHarness::ProgressPosition() const {
    return static_cast<int>(SendMessageA(Item(IDC_PROGRESS), PBM_GETPOS, 0, 0));
}

void DesktopHarness::Flush() { SendMessageA(window_, win32::WM_APP_SYNC, 0, 0); }

bool DesktopHarness::WaitForCrawlEnd() {
    const bool ended = WaitFor([this] { return !app_.state.workerActive; });
    Flush();
    return ended;
}

HWND DesktopHarness::WaitForDialog(const char* title) const {
    // A dialog shows once it is initialised and its modal loop runs.
    const auto ready = [this, title] {
        const HWND dialog = FindWindowA("#32770", title);
        return dialog != nullptr && GetWindow(dialog, GW_OWNER) == window_ && IsWindowVisible(dialog) ? dialog : nullptr;
    };
    HWND dialog = nullptr;
    WaitFor([&] { return (dialog = ready()) != nullptr; }, std::chrono::seconds(10));
    return dialog;
}

bool DesktopHarness::WaitForWindowEnd() {
    if (!WaitFor([this] { return !IsWindow(window_); })) return false;
    ui_.join();
    return true;
}

}  // namespace veltrano::testing
