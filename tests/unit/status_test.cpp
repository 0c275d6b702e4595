#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "crawl/status.h"
#include "fake_view.h"
#include "state/app_state.h"

namespace veltrano {
namespace {

using Texts = std::vector<std::string>;

class StatusTest : public ::testing::Test {
protected:
    void SetUp() override { state.view = &view; }
    testing::FakeView view;
    AppState state;
};

TEST_F(StatusTest, TheTimerCountsOnlyWhileACrawlRuns) {
    TimerTick(state);
    EXPECT_TRUE(view.Calls().empty());
    state.crawlRunning = true;
    state.timerMinutes = 59;
    state.timerSeconds = 59;
    TimerTick(state);
    TimerTick(state);
    EXPECT_EQ(view.Calls(), (Texts{"label timer: 01:00:00", "label timer: 01:00:01"}));
    state.workerActive = true;  // a pause was requested: the worker still finishes its page
    state.crawlRunning = false;
    TimerTick(state);
    EXPECT_EQ(state.timerSeconds, 1);
}

TEST_F(StatusTest, HoursTakeAsManyDigitsAsTheyNeedAndTheClockStopsWhenFull) {
    state.crawlRunning = true;
    state.timerHours = 99;
    state.timerMinutes = 59;
    state.timerSeconds = 59;
    TimerTick(state);
    state.timerHours = std::numeric_limits<int>::max();
    state.timerMinutes = 59;
    state.timerSeconds = 58;
    TimerTick(state);
    TimerTick(state);
    // A hand-edited count far beyond its range rolls over, never wraps.
    state.timerHours = 0;
    state.timerSeconds = std::numeric_limits<int>::max();
    TimerTick(state);
    EXPECT_EQ(view.Calls(), (Texts{"label timer: 100:00:00", "label timer: 2147483647:59:59",
                                   "label timer: 2147483647:59:59", "label timer: 01:00:00"}));
}

TEST_F(StatusTest, RefreshShowsTheCurrentPageAndGroupedCounts) {
    for (int i = 0; i < 1500; ++i) state.pageList.Add("http://s/" + std::to_string(i));
    state.pageList.SetCurrentRow(1233);
    state.traffic = 1'002'000;
    RefreshStatus(state);
    EXPECT_EQ(view.Calls(), (Texts{"label timer: 00:00:00", "label traffic: 1'002'000", "label pagesTotal: 1'500",
                                   "label resultsTotal: 0", "label downloadingAddress: http://s/1233",
                                   "label downloadingRow: 1'234", "start text: Start", "progress: 0"}));
}

TEST_F(StatusTest, TheGrabModeEnablesItsOwnControls) {
    view.grabSelection = 0;
    ApplyGrabMode(state);
    view.grabSelection = 1;
    ApplyGrabMode(state);
    view.grabSelection = -1;  // no selection acts as "Custom"
    ApplyGrabMode(state);
    view.grabSelection = 2;
    ApplyGrabMode(state);
    EXPECT_EQ(view.Calls(), (Texts{"grab controls: patterns off, extensions on",
                                   "grab controls: patterns on, extensions off",
                                   "grab controls: patterns on, extensions off",
                                   "grab controls: patterns off, extensions on"}));
    EXPECT_EQ(state.grabMode, kGrabLinks);  // the crawl takes its mode at start only
}

TEST_F(StatusTest, ProjectCommandsWaitForTheWorkerToEnd) {
    const auto allEnabled = [](MenuItemStates s) { return s.newProject && s.loadProject && s.saveProject && s.saveResults; };
    const auto allGreyed = [](MenuItemStates s) { return !s.newProject && !s.loadProject && !s.saveProject && !s.saveResults; };
    EXPECT_TRUE(allEnabled(UpdateMenuState(state)));
    state.crawlRunning = true;
    state.workerActive = true;
    EXPECT_TRUE(allGreyed(UpdateMenuState(state)));
    state.crawlRunning = false;  // pause requested, the page is still being finished
    EXPECT_TRUE(allGreyed(UpdateMenuState(state)));
    state.workerActive = false;
    EXPECT_TRUE(allEnabled(UpdateMenuState(state)));
}

}  // namespace
}  // namespace veltrano
