// A View for tests: records every call as one line of text and answers
// questions from a script.
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "state/view.h"

namespace veltrano::testing {

// True when `messages` is the one file error that begins with `naming` (its
// text and the path) and ends with the system's reason, whose words differ
// from system to system.
inline bool IsFileError(const std::vector<std::string>& messages, const std::string& naming) {
    const std::string start = "message(info): " + naming + ": ";
    return messages.size() == 1 && messages[0].size() > start.size() && messages[0].compare(0, start.size(), start) == 0;
}

class FakeView : public View {
public:
    // Answers for the coming questions, in order; an unscripted question
    // is answered No and recorded as such.
    void ScriptAnswers(std::initializer_list<bool> answers);

    std::vector<std::string> Calls() const;
    // The recorded calls that start with `prefix`.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
    std::vector<std::string> Messages() const { return CallsStartingWith("message"); }
    void ClearCalls();

    // What the user does in the dialogs, in order. An exhausted script
    // cancels. File name dialog: the text typed before each OK, or nothing
    // for Cancel. Load project dialog: Load or Delete with a selection, or
    // Cancel. File chooser: the path chosen, or nothing for Cancel.
    struct LoadDialogAction {
        enum Kind { load, remove, cancel } kind;
        std::optional<std::size_t> selection;
    };
    std::deque<std::optional<std::string>> fileNameScript;
    std::deque<LoadDialogAction> loadDialogScript;
    std::deque<std::optional<std::string>> chooserScript;

    // The texts the view currently shows.
    std::string webSite;
    std::string skipMask;
    int grabSelection = 0;

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
    void PageDone(std::string_view address, std::string_view status) override;
    void Beep() override;
    bool RunFileNameDialog(FileNameDialog& dialog) override;
    bool RunLoadProjectDialog(LoadProjectDialog& dialog) override;
    std::optional<std::string> ChooseFile(const FileChooserRequest& request) override;

private:
    void Record(std::string call);

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::deque<bool> answers_;
};

const char* LabelName(StatusLabel label);

}  // namespace veltrano::testing
