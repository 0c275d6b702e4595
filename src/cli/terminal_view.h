// The View of the terminal crawler: messages on stderr, each new result on
// stdout, and while stderr is a terminal a one-line live display.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "state/view.h"

namespace veltrano {

class ResultList;
class PageList;

class TerminalView final : public View {
public:
    // `quiet`: no live display and no report of failed pages.
    TerminalView(const PageList& pages, const ResultList& results, bool quiet);

    // The names the user gave on the command line stand in for the dialogs.
    std::string projectName;
    std::string outputFile;
    // Called as each page begins, with the number of pages begun in this run.
    std::function<void(std::size_t pagesBegun)> onPageBegun;
    // How many downloads run at the moment, for the live line.
    std::function<std::size_t()> downloadsInFlight;

    // The crawl starts: from now on each new result is printed (those already
    // in the list, loaded with a project, are not) and pages are counted.
    void StartPrintingResults();
    // Redraws the live display; clears it for good with `final`.
    void Redraw(bool final = false);
    // True when a message with the error icon was shown.
    bool ShowedError() const;
    // True once standard output was closed by its reader (`| head -1`).
    bool OutputClosed() const { return outputClosed_; }
    // Pages processed and pages downloaded in this run.
    std::size_t PagesDone() const;
    std::size_t PagesDownloaded() const;

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
    void PageDone(std::string_view address, std::string_view status) override;
    bool RunFileNameDialog(FileNameDialog& dialog) override;
    bool RunLoadProjectDialog(LoadProjectDialog& dialog) override;
    std::optional<std::string> ChooseFile(const FileChooserRequest& request) override;

private:
    void ClearLine();  // mutex held
    void DrawLine();   // mutex held
    void DrawLineSoon();  // mutex held; at most ten redraws a second

    // What goes to a terminal is shown with its control bytes escaped.
    std::string ForStderr(std::string_view text) const;

    const PageList& pages_;
    const ResultList& results_;
    const bool quiet_;
    const bool stdoutTerminal_;
    const bool stderrTerminal_;
    const bool live_;
    std::atomic<bool> outputClosed_{false};
    std::size_t pagesDone_ = 0;
    std::size_t pagesDownloaded_ = 0;
    mutable std::mutex mutex_;
    std::string webSite_;
    std::string skipMask_;
    int grabSelection_ = 0;
    bool printing_ = false;
    std::size_t printedResults_ = 0;
    std::size_t pagesBegun_ = 0;
    int percent_ = 0;
    std::string traffic_ = "0";
    std::string timer_ = "00:00:00";
    std::string currentAddress_;
    std::string currentRow_;
    bool lineShown_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
    bool showedError_ = false;
};

}  // namespace veltrano
