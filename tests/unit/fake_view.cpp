#include "fake_view.h"

#include "project/project_dialogs.h"

namespace veltrano::testing {

const char* LabelName(StatusLabel label) {
    switch (label) {
        case StatusLabel::timer: return "timer";
        case StatusLabel::traffic: return "traffic";
        case StatusLabel::pagesTotal: return "pagesTotal";
        case StatusLabel::resultsTotal: return "resultsTotal";
        case StatusLabel::downloadingAddress: return "downloadingAddress";
        case StatusLabel::downloadingRow: return "downloadingRow";
    }
    return "?";
}

static const char* ListName(ListId list) {
    switch (list) {
        case ListId::pages: return "pages";
        case ListId::results: return "results";
        case ListId::extensions: return "extensions";
        case ListId::patterns: return "patterns";
    }
    return "?";
}

void FakeView::ScriptAnswers(std::initializer_list<bool> answers) {
    std::lock_guard lock(mutex_);
    answers_.insert(answers_.end(), answers.begin(), answers.end());
}

std::vector<std::string> FakeView::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> FakeView::CallsStartingWith(const std::string& prefix) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> found;
    for (const std::string& call : calls_) {
        if (call.rfind(prefix, 0) == 0) found.push_back(call);
    }
    return found;
}

void FakeView::ClearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

void FakeView::Record(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
}

void FakeView::ShowMessage(std::string_view text, MessageIcon icon) {
    Record(std::string(icon == MessageIcon::error ? "message(error): " : "message(info): ") + std::string(text));
}

bool FakeView::AskYesNo(std::string_view question) {
    bool answer = false;
    {
        std::lock_guard lock(mutex_);
        if (!answers_.empty()) {
            answer = answers_.front();
            answers_.pop_front();
        }
    }
    Record("ask: " + std::string(question) + (answer ? " -> Yes" : " -> No"));
    return answer;
}

void FakeView::SetStartButtonText(std::string_view text) { Record("start text: " + std::string(text)); }
void FakeView::EnableStartButton(bool enabled) { Record(enabled ? "start enabled" : "start disabled"); }
void FakeView::EnablePageList(bool enabled) { Record(enabled ? "page list enabled" : "page list disabled"); }

void FakeView::SetStatusLabel(StatusLabel label, std::string_view text) {
    Record(std::string("label ") + LabelName(label) + ": " + std::string(text));
}

void FakeView::SetProgress(int percent) { Record("progress: " + std::to_string(percent)); }

std::string FakeView::WebSiteText() {
    std::lock_guard lock(mutex_);
    return webSite;
}
void FakeView::SetWebSiteText(std::string_view text) {
    Record("web site: " + std::string(text));
    std::lock_guard lock(mutex_);
    webSite = text;
}
std::string FakeView::SkipMaskText() {
    std::lock_guard lock(mutex_);
    return skipMask;
}
void FakeView::SetSkipMaskText(std::string_view text) {
    Record("skip mask: " + std::string(text));
    std::lock_guard lock(mutex_);
    skipMask = text;
}
int FakeView::GrabSelection() {
    std::lock_guard lock(mutex_);
    return grabSelection;
}
void FakeView::SetGrabSelection(int selection) {
    Record("grab: " + std::to_string(selection));
    std::lock_guard lock(mutex_);
    grabSelection = selection;
}
void FakeView::EnableGrabControls(bool patternControls, bool extensionControls) {
    Record(std::string("grab controls: patterns ") + (patternControls ? "on" : "off") + ", extensions " +
           (extensionControls ? "on" : "off"));
}
void FakeView::ListChanged(ListId list) { Record(std::string("list changed: ") + ListName(list)); }
void FakeView::ShowLastResult() { Record("show last result"); }
void FakeView::PageDone(std::string_view address, std::string_view status) {
    Record("page done: " + std::string(address) + " " + std::string(status));
}
void FakeView::Beep() { Record("beep"); }

bool FakeView::RunFileNameDialog(FileNameDialog& dialog) {
    Record("file name dialog");
    while (!fileNameScript.empty()) {
        const std::optional<std::string> typed = fileNameScript.front();
        fileNameScript.pop_front();
        if (!typed) return false;
        if (dialog.OnOk(*typed)) return true;
    }
    return false;
}

bool FakeView::RunLoadProjectDialog(LoadProjectDialog& dialog) {
    std::string shown = "load dialog:";
    for (const std::string& entry : dialog.Entries()) shown += " " + entry;
    Record(shown);
    while (!loadDialogScript.empty()) {
        const LoadDialogAction action = loadDialogScript.front();
        loadDialogScript.pop_front();
        switch (action.kind) {
            case LoadDialogAction::load:
                if (dialog.OnLoad(action.selection)) return true;
                break;
            case LoadDialogAction::remove: dialog.OnDelete(action.selection); break;
            case LoadDialogAction::cancel: return false;
        }
    }
    return false;
}

std::optional<std::string> FakeView::ChooseFile(const FileChooserRequest& request) {
    Record("choose file: " + request.title + (request.fileMustExist ? " (must exist)" : ""));
    if (chooserScript.empty()) return std::nullopt;
    std::optional<std::string> path = chooserScript.front();
    chooserScript.pop_front();
    return path;
}

}  // namespace veltrano::testing
