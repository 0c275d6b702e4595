// The main window as the core sees it. Calls from the crawl worker are
// carried out on the user-interface thread: controls are touched there
// only. List changes never make the worker wait: they are noted and the
// window is told once, and it redraws from the core's lists when it gets
// to it, however many rows came in meanwhile.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "state/view.h"

namespace veltrano {
struct AppState;
class EditableList;
}  // namespace veltrano

namespace veltrano::win32 {

// Runs the std::function<void()> that lParam points to.
inline constexpr UINT WM_APP_RUN = WM_APP + 1;
// Brings the lists up to date with the changes noted since the last time.
inline constexpr UINT WM_APP_SYNC = WM_APP + 2;

class WindowView final : public View {
public:
    explicit WindowView(AppState& state) : state_(state) {}

    // The main window this view draws on, from its initialisation to its
    // destruction; calls made outside that time touch nothing.
    void Attach(HWND window);
    void Detach();
    HWND Window() const { return window_.load(); }
    AppState& State() { return state_; }

    // While a modal dialog of the window is open, the messages it causes
    // are owned by it.
    void PushOwner(HWND dialog) { owners_.push_back(dialog); }
    void PopOwner() { owners_.pop_back(); }

    // Applies the list changes noted by the worker (WM_APP_SYNC).
    void Sync();
    // Rebuilds a list box from its core list.
    void ShowEditableList(ListId list);

    void ShowMessage(std::string_view text, MessageIcon icon) override;
    bool AskYesNo(std::string_view question) override;
    void SetStartButtonText(std::string_view text) override;
    void EnableStartButton(bool enabled) override;
    void EnablePageList(bool enabled) override;
    void SetStatusLabel(StatusLabel label, std::string_view text) override;
    void SetProgress(int percent) override;
    std::string WebSiteText() override;
    void SetWebSiteText(std::string_view text) override;
    std::string SkipMaskText() override;
    void SetSkipMaskText(std::string_view text) override;
    int GrabSelection() override;
    void SetGrabSelection(int selection) override;
    void EnableGrabControls(bool patternControls, bool extensionControls) override;
    void ListChanged(ListId list) override;
    void ShowLastResult() override;
    void Beep() override;
    bool RunFileNameDialog(FileNameDialog& dialog) override;
    bool RunLoadProjectDialog(LoadProjectDialog& dialog) override;
    std::optional<std::string> ChooseFile(const FileChooserRequest& request) override;

private:
    enum Pending : unsigned { kPages = 1, kResults = 2, kLastResult = 4 };

    bool OnUiThread() const;
    // Runs `job` on the user-interface thread and waits for it; nothing
    // happens when the window is gone.
    void OnUi(const std::function<void()>& job);
    // Notes a change for the next Sync, posting one WM_APP_SYNC at a time.
    void Note(Pending change);
    void SyncPages();
    void AppendResults();
    void RebuildResults();
    void SelectLastResult();
    EditableList& Editable(ListId list);
    HWND Owner() const { return owners_.empty() ? window_.load() : owners_.back(); }

    AppState& state_;
    std::atomic<HWND> window_{nullptr};
    DWORD uiThread_ = 0;
    std::atomic<unsigned> pending_{0};
    std::atomic<bool> syncPosted_{false};
    std::vector<HWND> owners_;  // user-interface thread only
};

}  // namespace veltrano::win32
