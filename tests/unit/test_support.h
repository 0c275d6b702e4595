// What the core tests share. A working directory of their own (the program's files are relative to it), and
// a View that records every call as one line of text and answers questions and dialogs from scripts. A crawl
// worker may call the view from its own thread; tests look at it once the worker has ended.
#pragma once

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "project/project_dialogs.h"
#include "state/view.h"

namespace veltrano::testing {

class ScopedWorkingDirectory {
public:
    ScopedWorkingDirectory() {
        std::filesystem::create_directories(folder_);
        std::filesystem::current_path(folder_);
    }
    ~ScopedWorkingDirectory() {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_, ignored_);
    }

private:
    std::filesystem::path previous_ = std::filesystem::current_path();
    std::filesystem::path folder_ = std::filesystem::temp_directory_path() / ("veltrano-" + std::to_string(std::random_device{}()));
    std::error_code ignored_;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}


using Texts = std::vector<std::string>;
inline Texts Prefixed(const std::string& prefix, Texts texts) {
    for (std::string& text : texts) text.insert(0, prefix);
    return texts;
}
inline std::string Info(const std::string& text) { return "message(info): " + text; }

class FakeView : public View {
public:
    std::vector<std::string> Calls() const { return calls_; }
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const std::string& call : calls_) if (call.starts_with(prefix)) found.push_back(call);
        return found;
    }
    std::vector<std::string> Messages() const { return CallsStartingWith("message"); }
    void ClearCalls() { calls_.clear(); }

    // The user's answers in order; past the end of its script a question is answered No and a dialog
    // cancelled. File name dialog: the text typed before each OK, nothing for Cancel. Load project
    // dialog: Load or Delete with a selection, or Cancel. File chooser: the path chosen.
    std::deque<bool> answers;
    std::deque<std::optional<std::string>> fileNameScript, chooserScript;
    struct LoadDialogAction { enum Kind { load, remove, cancel } kind; std::optional<std::size_t> selection; };
    std::deque<LoadDialogAction> loadDialogScript;
    std::string webSite, skipMask;  // what the view shows
    int grabSelection = 0;

    void ShowMessage(std::string_view text, MessageIcon icon) override {
        Record(icon == MessageIcon::error ? "message(error): " : "message(info): ", text);
    }
    bool AskYesNo(std::string_view question) override {
        const bool yes = Next(answers, false);
        Record("ask: " + std::string(question), yes ? " -> Yes" : " -> No");
        return yes;
    }
    void SetStartButtonText(std::string_view text) override { Record("start text: ", text); }
    void EnableStartButton(bool on) override { Record(on ? "start enabled" : "start disabled"); }
    void EnablePageList(bool on) override { Record(on ? "page list enabled" : "page list disabled"); }
    void SetStatusLabel(StatusLabel label, std::string_view text) override {
        const char* const names[] = {"timer", "traffic", "pagesTotal", "resultsTotal", "downloadingAddress", "downloadingRow"};
        Record(std::string("label ") + names[static_cast<int>(label)] + ": ", text);
    }
    void SetProgress(int percent) override { Record("progress: " + std::to_string(percent)); }
    std::string WebSiteText() override { return webSite; }
    void SetWebSiteText(std::string_view text) override { Record("web site: ", webSite = text); }
    std::string SkipMaskText() override { return skipMask; }
    void SetSkipMaskText(std::string_view text) override { Record("skip mask: ", skipMask = text); }
    int GrabSelection() override { return grabSelection; }
    void SetGrabSelection(int selection) override { Record("grab: " + std::to_string(grabSelection = selection)); }
    void EnableGrabControls(bool patterns, bool extensions) override {
        Record(std::string("grab controls: patterns ") + (patterns ? "on" : "off") + ", extensions " + (extensions ? "on" : "off"));
    }
    void ListChanged(ListId list) override {
        const char* const names[] = {"pages", "results", "extensions", "patterns"};
        Record(std::string("list changed: ") + names[static_cast<int>(list)]);
    }
    void ShowLastResult() override { Record("show last result"); }
    void PageDone(std::string_view address, std::string_view status) override { Record("page done: " + std::string(address) + " ", status); }
    void Beep() override { Record("beep"); }

    bool RunFileNameDialog(FileNameDialog& dialog) override {
        Record("file name dialog");
        for (std::optional<std::string> typed; (typed = Next(fileNameScript, {}));) if (dialog.OnOk(*typed)) return true;
        return false;
    }
    bool RunLoadProjectDialog(LoadProjectDialog& dialog) override {
        std::string shown = "load dialog:";
        for (const std::string& entry : dialog.Entries()) shown += " " + entry;
        Record(shown);
        for (LoadDialogAction step; (step = Next(loadDialogScript, {LoadDialogAction::cancel, {}})).kind != step.cancel;) {
            if (step.kind == step.remove) dialog.OnDelete(step.selection);
            if (step.kind == step.load && dialog.OnLoad(step.selection)) return true;
        }
        return false;
    }
    std::optional<std::string> ChooseFile(const FileChooserRequest& request) override {
        Record("choose file: " + request.title, request.fileMustExist ? " (must exist)" : "");
        return Next(chooserScript, {});
    }

private:
    template <typename T>
    static T Next(std::deque<T>& script, T ifExhausted) {
        if (!script.empty()) { ifExhausted = std::move(script.front()); script.pop_front(); }
        return ifExhausted;
    }
    void Record(std::string call, std::string_view more = {}) { calls_.push_back(call.append(more)); }

    std::vector<std::string> calls_;
};

}  // namespace veltrano::testing
