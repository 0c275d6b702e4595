#include "crawl/crawl_worker.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/text_ops.h"
#include "fetch/download_page.h"
#include "parse/page_parser.h"
#include "state/app_state.h"
#include "state/view.h"

namespace veltrano {
namespace {

// What a row's page is not downloaded for, or empty text when it is.
std::string_view NotDownloaded(const AppState& state, std::string_view address) {
    if (!state.skipMask.empty() && MatchAtNoCase(0, state.skipMask, UrlFileName(address))) return "SKIPPED";
    if (state.pageAllowed && !state.pageAllowed(address)) return "DISALLOWED";
    return {};
}

// Tells the downloader which pages come next, so that it may fetch them
// while this one is processed: the rows below it that will be downloaded.
// A few per connection, so that connections whose pages arrived early can
// go on with later ones; rows are still processed strictly one after the
// other.
void AnnounceNextPages(AppState& state, std::size_t row) {
    if (state.connections <= 1) return;
    constexpr std::size_t kPagesPerConnection = 4;
    std::vector<std::string> next;
    const std::size_t rows = state.pageList.Count();
    const std::size_t wanted = state.connections * kPagesPerConnection - 1;
    for (std::size_t ahead = row + 1; ahead < rows && next.size() < wanted; ++ahead) {
        std::string address = state.pageList.Row(ahead).webPage.substr(0, kListAddressMax);
        if (NotDownloaded(state, address).empty()) next.push_back(std::move(address));
    }
    state.downloader->Prefetch(next);
}

}  // namespace

void ProcessPageList(AppState& state) {
    View& view = *state.view;
    std::optional<std::size_t> row = state.pageList.CurrentRow();
    while (row) {
        const std::string address = state.pageList.Row(*row).webPage.substr(0, kListAddressMax);
        view.SetStatusLabel(StatusLabel::downloadingAddress, address);
        view.SetStatusLabel(StatusLabel::downloadingRow, FormatCount(*row + 1));

        if (const std::string_view reason = NotDownloaded(state, address); !reason.empty()) {
            state.pageList.SetResult(*row, reason);
            view.ListChanged(ListId::pages);
            view.PageDone(address, reason);
        } else {
            AnnounceNextPages(state, *row);
            const DownloadOutcome outcome = DownloadPage(state, address);
            // A page that could not be stored here, or whose download was
            // broken off, is no outcome of the page: its row stays empty and
            // current, and the crawl pauses there.
            if (!outcome.localFailure.empty()) {
                view.ShowMessage("Error open tmp file: " + outcome.localFailure, MessageIcon::error);
                return;
            }
            if (outcome.interrupted) return;
            state.pageList.SetResult(*row, outcome.status);
            view.ListChanged(ListId::pages);
            view.PageDone(address, outcome.status);
            // A failed parse has told the user why; the row stays current.
            if (outcome.status == "OK" && !ParsePage(state)) return;
        }

        if (*row + 1 >= state.pageList.Count()) return;  // the last row is done: the crawl is complete
        state.pageList.SetCurrentRow(*row + 1);
        view.ListChanged(ListId::pages);
        if (!state.crawlRunning) return;  // pause
        row = state.pageList.CurrentRow();
    }
}

void CrawlWorker(AppState& state) {
    View& view = *state.view;
    ProcessPageList(state);
    state.crawlRunning = false;
    view.EnableStartButton(true);
    view.EnablePageList(true);
    const bool complete = !state.pageList.LastResult().empty();
    std::remove(kTempPageFile);
    if (complete) {
        view.SetStartButtonText("Start");
        ShowInformation(view, "The project is completed successfully!");
    } else {
        view.SetStartButtonText("Continue");
        view.Beep();
    }
    // Notified under the lock: a waiter may destroy the state as soon as it
    // sees the flag, so nothing of it is touched after the unlock.
    std::lock_guard lock(state.workerMutex);
    state.workerActive = false;
    state.workerEnded.notify_all();
}

void WaitForCrawlWorker(AppState& state) {
    std::unique_lock lock(state.workerMutex);
    state.workerEnded.wait(lock, [&state] { return !state.workerActive; });
}

}  // namespace veltrano
