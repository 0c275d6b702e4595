// A View for tests: records every call as one line of text, and answers
// questions and dialogs from scripts. A crawl worker may call it from its
// own thread; tests look at it once the worker has ended.
#pragma once

#include <algorithm>
#include <deque>
#include <iterator>
#include <vector>

#include "project/project_dialogs.h"
#include "state/view.h"

namespace veltrano::testing {

// True when `messages` is the one file error that begins with `naming` (its
// text and the path) and ends with the system's reason, whose words differ
// from system to system.
inline bool IsFileError(const std::vector<std::string>& messages, const std::string& naming) {
    const std::string start = "message(info): " + naming + ": ";
    return messages.size() == 1 && messages[0].size() > start.size() && messages[0].starts_with(start);
}

// The next step of a script, or `ifExhausted` when it has run out.
template <typename T>
T Next(std::deque<T>& script, T ifExhausted) {
    if (script.empty()) return ifExhausted;
    T next = std::move(script.front());
    script.pop_front();
    return next;
}

class FakeView : public View {
public:
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const {
        std::vector<std::string> found;
        std::ranges::copy_if(calls_, std::back_inserter(found), [&](const std::string& call) { return call.starts_with(prefix); });
        return found;
    }
    std::vector<std::string> Calls() const { return calls_; }
    std::vector<std::string> Messages() const { return CallsStartingWith("message"); }
    void ClearCalls() { calls_.clear(); }

    // The user's answers, in order; a question or dialog past the end of its
    // script is answered No or cancelled. File name dialog: the text typed
    // before each OK, or nothing for Cancel. Load project dialog: Load or
    // Delete with a selection, or Cancel. File chooser: the path chosen.
    void ScriptAnswers(std::initializer_list<bool> answers) { answers_.insert(answers_.end(), answers); }
    struct LoadDialogAction {
        enum Kind { load, remove, cancel } kind;
        std::optional<std::size_t> selection;
    };
    std::deque<std::optional<std::string>> fileNameScript;
    std::deque<LoadDialogAction> loadDialogScript;
    std::deque<std::optional<std::string>> chooserScript;

    // What the view shows.
    std::string webSite;
    std::string skipMask;
    int grabSelection = 0;

    void ShowMessage(std::string_view text, MessageIcon icon) override {
        Record(icon == MessageIcon::error ? "message(error): " : "message(info): ", text);
    }
    bool AskYesNo(std::string_view question) override {
        const bool yes = Next(answers_, false);
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
        while (const std::optional<std::string> typed = Next(fileNameScript, {})) {
            if (dialog.OnOk(*typed)) return true;
        }
        return false;
    }
    bool RunLoadProjectDialog(LoadProjectDialog& dialog) override {
        std::string shown = "load dialog:";
        for (const std::string& entry : dialog.Entries()) shown += " " + entry;
        Record(shown);
        for (;;) {
            const auto [kind, selection] = Next(loadDialogScript, {LoadDialogAction::cancel, {}});
            if (kind == LoadDialogAction::cancel) return false;
            if (kind == LoadDialogAction::remove) dialog.OnDelete(selection);
            if (kind == LoadDialogAction::load && dialog.OnLoad(selection)) return true;
        }
    }
    std::optional<std::string> ChooseFile(const FileChooserRequest& request) override {
        Record("choose file: " + request.title, request.fileMustExist ? " (must exist)" : "");
        return Next(chooserScript, {});
    }

private:
    void Record(std::string call, std::string_view more = {}) { calls_.push_back(call.append(more)); }

    std::vector<std::string> calls_;
    std::deque<bool> answers_;
};

}  // namespace veltrano::testing
