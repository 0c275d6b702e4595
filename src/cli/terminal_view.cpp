#include "cli/terminal_view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <vector>

#include "cli/terminal_text.h"
#include "project/project_dialogs.h"
#include "state/lists.h"

namespace veltrano {

TerminalView::TerminalView(const PageList& pages, const ResultList& results, bool quiet)
    : pages_(pages),
      results_(results),
      quiet_(quiet),
      stdoutTerminal_(isatty(STDOUT_FILENO) != 0),
      stderrTerminal_(isatty(STDERR_FILENO) != 0),
      live_(!quiet && stderrTerminal_) {}

std::string TerminalView::ForStderr(std::string_view text) const {
    return stderrTerminal_ ? EscapeControls(text) : std::string(text);
}

std::size_t TerminalView::PagesDone() const {
    std::lock_guard lock(mutex_);
    return pagesDone_;
}

std::size_t TerminalView::PagesDownloaded() const {
    std::lock_guard lock(mutex_);
    return pagesDownloaded_;
}

void TerminalView::PageDone(std::string_view address, std::string_view status) {
    std::lock_guard lock(mutex_);
    ++pagesDone_;
    if (status == "OK") ++pagesDownloaded_;
    if (quiet_ || status == "OK" || status == "SKIPPED") return;
    ClearLine();
    const std::string line = "failed: " + ForStderr(address) + ": " + std::string(status) + " (" +
                             std::string(FailureMeaning(status)) + ")\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void TerminalView::StartPrintingResults() {
    std::lock_guard lock(mutex_);
    printing_ = true;
    printedResults_ = results_.Count();
    pagesBegun_ = 0;  // loading a project showed its current page: no page of this run
}

bool TerminalView::ShowedError() const {
    std::lock_guard lock(mutex_);
    return showedError_;
}

void TerminalView::ClearLine() {
    if (!lineShown_) return;
    std::fputs("\r\033[K", stderr);
    lineShown_ = false;
}

void TerminalView::DrawLine() {
    if (!live_) return;
    std::string line = std::to_string(percent_) + "% | page " + currentRow_ + " of " +
                       std::to_string(pages_.Count()) + " | results " + std::to_string(results_.Count()) +
                       " | traffic " + traffic_ + " | " + timer_ +
                       (downloadsInFlight ? " | " + std::to_string(downloadsInFlight()) + " in flight" : "") + " | " +
                       currentAddress_;
    winsize size{};
    const std::size_t width = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1u : 79u;
    if (line.size() > width) line.resize(width);
    std::fputs("\r\033[K", stderr);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    lineShown_ = true;
}

void TerminalView::DrawLineSoon() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    DrawLine();
}

void TerminalView::Redraw(bool final) {
    std::lock_guard lock(mutex_);
    if (final) {
        ClearLine();
        std::fflush(stderr);
    } else {
        DrawLine();
    }
}

void TerminalView::ShowMessage(std::string_view text, MessageIcon icon) {
    std::lock_guard lock(mutex_);
    ClearLine();
    if (icon == MessageIcon::error) showedError_ = true;
    const std::string shown = ForStderr(TerminalWording(text));
    std::fprintf(stderr, "%s%s\n", icon == MessageIcon::error ? "error: " : "", shown.c_str());
    std::fflush(stderr);
}

// The user named every file on the command line, so overwriting is agreed.
bool TerminalView::AskYesNo(std::string_view) { return true; }

void TerminalView::SetStartButtonText(std::string_view) {}
void TerminalView::EnableStartButton(bool) {}
void TerminalView::EnablePageList(bool) {}

void TerminalView::SetStatusLabel(StatusLabel label, std::string_view text) {
    std::function<void(std::size_t)> begun;
    std::size_t count = 0;
    {
        std::lock_guard lock(mutex_);
        switch (label) {
            case StatusLabel::timer: timer_ = text; break;
            case StatusLabel::traffic: traffic_ = text; break;
            case StatusLabel::downloadingAddress: currentAddress_ = ForStderr(text); break;
            case StatusLabel::downloadingRow:
                currentRow_ = text;
                count = ++pagesBegun_;
                begun = onPageBegun;
                break;
            case StatusLabel::pagesTotal:
            case StatusLabel::resultsTotal: break;
        }
        // The row number follows the address at once; draw both together.
        if (label != StatusLabel::downloadingAddress) DrawLineSoon();
    }
    if (begun) begun(count);
}

void TerminalView::SetProgress(int percent) {
    std::lock_guard lock(mutex_);
    percent_ = percent;
    DrawLineSoon();
}

std::string TerminalView::WebSiteText() {
    std::lock_guard lock(mutex_);
    return webSite_;
}
void TerminalView::SetWebSiteText(std::string_view text) {
    std::lock_guard lock(mutex_);
    webSite_ = text;
}
std::string TerminalView::SkipMaskText() {
    std::lock_guard lock(mutex_);
    return skipMask_;
}
void TerminalView::SetSkipMaskText(std::string_view text) {
    std::lock_guard lock(mutex_);
    skipMask_ = text;
}
int TerminalView::GrabSelection() {
    std::lock_guard lock(mutex_);
    return grabSelection_;
}
void TerminalView::SetGrabSelection(int selection) {
    std::lock_guard lock(mutex_);
    grabSelection_ = selection >= 0 && selection <= 2 ? selection : -1;
}
void TerminalView::EnableGrabControls(bool, bool) {}

void TerminalView::ListChanged(ListId list) {
    if (list != ListId::results) return;
    std::lock_guard lock(mutex_);
    if (!printing_) return;
    const std::size_t count = results_.Count();
    if (count < printedResults_) printedResults_ = count;  // the list was replaced
    if (count == printedResults_) return;
    ClearLine();
    bool written = !outputClosed_;
    for (; printedResults_ < count; ++printedResults_) {
        if (!written) continue;
        std::string item = results_.At(printedResults_);
        if (stdoutTerminal_) item = EscapeControls(item);
        item += '\n';
        written = std::fwrite(item.data(), 1, item.size(), stdout) == item.size();
    }
    // A reader that went away ends the run as a stop would; a closed pipe
    // raises no signal here (SIGPIPE is ignored).
    if (!written || std::fflush(stdout) != 0) outputClosed_ = true;
    DrawLine();
}

void TerminalView::ShowLastResult() {}
void TerminalView::Beep() {}

bool TerminalView::RunFileNameDialog(FileNameDialog& dialog) { return dialog.OnOk(projectName); }

bool TerminalView::RunLoadProjectDialog(LoadProjectDialog& dialog) {
    const std::vector<std::string>& entries = dialog.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (LoadProjectDialog::ProjectName(entries[i]) == projectName) return dialog.OnLoad(i);
    }
    return false;
}

std::optional<std::string> TerminalView::ChooseFile(const FileChooserRequest&) {
    if (outputFile.empty()) return std::nullopt;
    return outputFile;
}

}  // namespace veltrano
