#include "crawl/crawl_start.h"

#include <algorithm>
#include <optional>

#include "crawl/crawl_worker.h"
#include "text/text_ops.h"
#include "state/app_state.h"
#include "state/view.h"

namespace veltrano {
namespace {

std::string Field(std::string text) {
    if (text.size() > kPathTextMax) text.resize(kPathTextMax);
    TrimBlanks(text);
    return text;
}

// "Custom": the first 100 patterns, each compiled into its own slot; false
// (after the message) at the first pattern with fewer than three tokens.
bool TakeCustomPatterns(AppState& state) {
    const std::size_t count = std::min(state.patternList.Count(), kMaxPatterns);
    state.patternCount = static_cast<int>(count);
    if (count == 0) {
        ShowInformation(*state.view, "Please enter a custom pattern for grab");
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        CompilePattern(state.patterns[i], std::string_view(state.patternList.At(i)).substr(0, kExtensionTextMax));
        if (!IsPatternValid(state.patterns[i])) {
            ShowInformation(*state.view, "Pattern number " + std::to_string(i + 1) + " is invalid. See more info in User Manual");
            return false;
        }
    }
    return true;
}

void TakeLinkPatterns(AppState& state) {
    state.patterns[0] = state.linkPatterns[0];
    state.patterns[1] = state.linkPatterns[1];
    state.patternCount = 2;
    const std::size_t count = std::min(state.extensionList.Count(), kExtensionSlots);
    for (std::size_t i = 0; i < count; ++i) {
        state.linkExtensions[i] = std::string_view(state.extensionList.At(i)).substr(0, kExtensionTextMax);
    }
}

}  // namespace

std::string SiteKey(std::string_view siteAddress) {
    for (const std::string_view mark : {std::string_view("www."), std::string_view("http://")}) {
        for (std::size_t p = 0; p + mark.size() <= siteAddress.size(); ++p) {
            if (MatchAtNoCase(p, mark, siteAddress)) return std::string(siteAddress.substr(p + mark.size()));
        }
    }
    return std::string(siteAddress);
}

void StartOrPauseCrawl(AppState& state) {
    View& view = *state.view;
    if (state.crawlRunning) {
        view.EnableStartButton(false);
        state.crawlRunning = false;
        return;
    }
    if (state.workerActive) return;  // a paused worker is still finishing its page

    const std::size_t rows = state.pageList.Count();
    const std::string lastResult = state.pageList.LastResult();

    state.siteAddress = Field(view.WebSiteText());
    if (state.siteAddress.empty()) {
        ShowInformation(view, "Please enter a Web Site address");
        return;
    }
    state.grabMode = view.GrabSelection();
    state.linkExtensions = {};
    if (!GrabsLinks(state.grabMode)) {
        if (!TakeCustomPatterns(state)) return;
    } else {
        TakeLinkPatterns(state);
    }

    if (rows == 0) {
        state.traffic = 0;
        state.modified = false;
        state.pageList.Add(state.siteAddress);
        state.pageList.SetCurrentRow(0);
    } else {
        if (!lastResult.empty()) {
            ShowInformation(view, "This project is completed. For start new select menu items Project -> New.");
            return;
        }
        state.pageList.SetCurrentRow(state.pageList.FirstUnprocessed());
    }
    view.ListChanged(ListId::pages);

    view.SetStartButtonText("Pause");
    view.EnablePageList(false);
    state.crawlRunning = true;
    if (state.siteAddress.back() == '/') state.siteAddress.pop_back();
    state.siteKey = SiteKey(state.siteAddress);
    state.skipMask = Field(view.SkipMaskText());

    state.workerActive = true;
    if (!state.startThread([&state] { CrawlWorker(state); })) {
        // Back to the idle state, so that the user can try again.
        state.crawlRunning = false;
        state.workerActive = false;
        state.workerEnded.notify_all();
        view.EnablePageList(true);
        view.SetStartButtonText(state.pageList.LastResult().empty() ? "Continue" : "Start");
        view.ShowMessage("Can not create thread. Error!", MessageIcon::error);
    }
}

}  // namespace veltrano
