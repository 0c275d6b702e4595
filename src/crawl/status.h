// The status display and the state of the controls: elapsed time, traffic,
// totals, the current page, the grab-mode controls and the menu items that
// must not run while a crawl is active.
#pragma once

namespace veltrano {

struct AppState;

// Redraws every status display from the state and the lists.
void RefreshStatus(AppState& state);
// One second of a running crawl.
void TimerTick(AppState& state);
// Enables the controls of the grab mode selected in the view.
void ApplyGrabMode(AppState& state);

struct MenuItemStates {
    bool newProject;
    bool loadProject;
    bool saveProject;
    bool saveResults;
};
// Project commands and the result save are greyed while a crawl runs and
// until its worker has really ended.
MenuItemStates UpdateMenuState(const AppState& state);

// True while a crawl runs or its worker is still finishing its page.
bool CrawlActive(const AppState& state);

}  // namespace veltrano
