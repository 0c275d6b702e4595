// Drives the real main window of the desktop program inside the test
// process: the window runs its modal loop on a thread of its own, the test
// sends it window messages and reads its controls back, and message boxes,
// shell calls and beeps go to a recorder.
#pragma once

#include <windows.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "win32/desktop_app.h"
#include "win32/seams.h"

namespace veltrano::testing {

// What the program asked the file chooser for.
struct ChooserRequest {
    HWND owner;
    std::string filter;  // with its NUL separators
    std::string title;
    std::string defaultExtension;
    std::string initialFile;
    DWORD maxFile;
    DWORD flags;
};

struct ShownMessage {
    HWND owner;
    std::string text;
    std::string caption;
    UINT flags;
};

// Stands in for message boxes, the shell and the beep while it lives.
class Recorder {
public:
    Recorder();
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // The answers to the next Yes/No questions, in order; No once they run out.
    void Answer(std::initializer_list<bool> answers);
    std::vector<ShownMessage> Messages() const;
    std::vector<std::string> MessageTexts() const;
    std::vector<std::string> Opened() const;
    int Beeps() const;
    // The paths the next file choosers return, in order; nothing cancels,
    // as does a chooser once they run out.
    void Choose(std::initializer_list<std::optional<std::string>> paths);
    std::vector<ChooserRequest> ChooserRequests() const;

private:
    mutable std::mutex mutex_;
    std::deque<bool> answers_;
    std::deque<std::optional<std::string>> paths_;
    std::vector<ChooserRequest> chooserRequests_;
    std::vector<ShownMessage> messages_;
    std::vector<std::string> opened_;
    int beeps_ = 0;
    win32::Seams saved_;
};

// A folder of its own as the working directory while it lives.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

// True when `condition` held within `limit`, checked every few milliseconds.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(30));

// The whole file, or nothing when it cannot be read.
std::string FileText(const std::filesystem::path& path);

class DesktopHarness {
public:
    // Works in a scratch folder of its own, or in `workingFolder` if given.
    explicit DesktopHarness(const std::filesystem::path& workingFolder = {});
    ~DesktopHarness();
    DesktopHarness(const DesktopHarness&) = delete;
    DesktopHarness& operator=(const DesktopHarness&) = delete;

    Recorder recorder;
    win32::DesktopApp& App() { return app_; }
    AppState& State() { return app_.state; }
    HWND Window() const { return window_; }
    HWND Item(int id) const { return GetDlgItem(window_, id); }

    // A command as the control or menu item with this id sends it.
    void Command(int id, UINT notification = BN_CLICKED);
    void PostCommand(int id);
    // Runs `job` on the window's thread, between two of its messages.
    void OnUiThread(const std::function<void()>& job);
    // A key pressed in the control with this id, through the window's own
    // message loop (so Enter and Esc reach the dialog's default handling).
    void PressKey(int id, UINT key);
    std::string Text(int id) const;
    void SetText(int id, std::string_view text);
    bool Enabled(int id) const;
    // Chooses an entry of the "Grab:" box the way the user does.
    void ChooseGrabMode(int index);
    // Sends WM_INITMENUPOPUP for the popup at `position` of the menu bar
    // and tells whether the item `command` is greyed then.
    bool MenuItemGreyed(int position, int command);

    // The page list as the list view shows it: "Web page" and "Result".
    std::vector<std::pair<std::string, std::string>> PageRows() const;
    std::pair<std::string, std::string> PageRow(int row) const;
    int PageRowCount() const;
    // The row that is focused and selected, or -1.
    int CurrentPageRow() const;
    std::vector<std::string> ListBoxItems(int id) const;
    // The entries the result box shows: as many as it counts, each drawn
    // from the core's list.
    std::vector<std::string> ResultItems();
    int ProgressPosition() const;

    // Brings the window up to date with what the worker noted.
    void Flush();
    // Waits until no crawl worker is active, then flushes.
    bool WaitForCrawlEnd();
    // True once the window has ended and its thread is over; Result() then.
    bool WaitForWindowEnd();
    INT_PTR Result() const { return result_; }

    // The dialog with this title, owned by the main window, once it shows;
    // null when none did within a few seconds.
    HWND WaitForDialog(const char* title) const;

private:
    std::optional<ScratchFolder> scratch_;
    win32::DesktopApp app_;
    HWND window_ = nullptr;
    INT_PTR result_ = 0;
    std::thread ui_;
};

}  // namespace veltrano::testing
