#include "crawl/status.h"

#include <cstdio>
#include <limits>
#include <optional>
#include <string>

#include "text/text_ops.h"
#include "state/app_state.h"
#include "state/view.h"

namespace veltrano {
namespace {

std::string ElapsedText(const AppState& state) {
    char text[48];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", state.timerHours.load(), state.timerMinutes.load(),
                  state.timerSeconds.load());
    return text;
}

}  // namespace

void RefreshStatus(AppState& state) {
    View& view = *state.view;
    view.SetStatusLabel(StatusLabel::timer, ElapsedText(state));
    view.SetStatusLabel(StatusLabel::traffic, FormatThousands(state.traffic.load()));
    view.SetStatusLabel(StatusLabel::pagesTotal, FormatCount(state.pageList.Count()));
    view.SetStatusLabel(StatusLabel::resultsTotal, FormatCount(state.resultList.Count()));
    const std::optional<std::size_t> current = state.pageList.CurrentRow();
    if (current) {
        view.SetStatusLabel(StatusLabel::downloadingAddress, state.pageList.Row(*current).webPage.substr(0, kListAddressMax));
        view.SetStatusLabel(StatusLabel::downloadingRow, FormatCount(*current + 1));
    } else {
        view.SetStatusLabel(StatusLabel::downloadingAddress, "");
        view.SetStatusLabel(StatusLabel::downloadingRow, "");
    }
    view.SetStartButtonText("Start");
    view.SetProgress(0);
}

void TimerTick(AppState& state) {
    if (!state.crawlRunning) return;
    // Each part is looked at before it grows, so none can overflow, and at
    // its very last second the clock stops rather than wrap around.
    constexpr int kHoursMax = std::numeric_limits<int>::max();
    if (state.timerSeconds < 59) {
        ++state.timerSeconds;
    } else if (state.timerMinutes < 59) {
        state.timerSeconds = 0;
        ++state.timerMinutes;
    } else if (state.timerHours < kHoursMax) {
        state.timerSeconds = 0;
        state.timerMinutes = 0;
        ++state.timerHours;
    }
    state.view->SetStatusLabel(StatusLabel::timer, ElapsedText(state));
}

void ApplyGrabMode(AppState& state) {
    const bool links = GrabsLinks(state.view->GrabSelection());
    state.view->EnableGrabControls(!links, links);
}

bool CrawlActive(const AppState& state) { return state.crawlRunning || state.workerActive; }

MenuItemStates UpdateMenuState(const AppState& state) {
    const bool idle = !CrawlActive(state);
    return {idle, idle, idle, idle};
}

}  // namespace veltrano
