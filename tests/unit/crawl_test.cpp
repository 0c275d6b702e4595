// The crawl through a fake downloader and the fake view; one page's download; the status display and the controls.
#include <gtest/gtest.h>

#include <limits>
#include <map>

#include "crawl/crawl_start.h"
#include "crawl/crawl_worker.h"
#include "crawl/status.h"
#include "test_support.h"
#include "fetch/download_page.h"
#include "state/app_state.h"

namespace veltrano {
namespace {

using Rows = std::vector<PageRow>;
using namespace testing;

// Serves pages from a table with progress as a transfer reports it. "local: REASON": the page cannot be stored here.
struct FakeDownloader : Downloader {
    struct Page { std::string status, body, landed; };
    std::map<std::string, Page> pages;
    std::function<void(const std::string&)> onDownload;  // on the worker thread, as each download starts
    Texts requested;
    std::vector<Texts> announced;  // each list of pages to come

    DownloadOutcome Download(std::string_view address, const std::string& file, DownloadProgress& progress) override {
        const std::string key(address);
        requested.push_back(key);
        if (onDownload) onDownload(key);
        const auto found = pages.find(key);
        const Page page = found != pages.end() ? found->second : Page{"INET_E_OBJECT_NOT_FOUND", "", ""};
        DownloadOutcome outcome{page.status, page.landed.empty() ? key : page.landed, "", page.status == "interrupted"};
        if (page.status.starts_with("local: ")) outcome.localFailure = page.status.substr(7);
        if (!outcome.localFailure.empty() || outcome.interrupted || found == pages.end()) return outcome;
        testing::WriteBytes(file, page.body);  // an error page's body too
        for (const std::uint64_t part : {0u, 1u, 2u}) progress.OnProgress(page.body.size() * part / 2, page.body.size());
        progress.OnEndOfData(page.body.size());
        return outcome;
    }
    void Prefetch(const Texts& next) override { announced.push_back(next); }
};

std::string Site(const std::string& path) { return "http://www.site.com/" + path; }
const std::string kDone = "message(info): The project is completed successfully!";

class CrawlTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.view = &view;
        state.downloader = &downloader;
        view.webSite = Site("");
        Serve("", R"(<a href="a.htm"><a href="b.htm"><a href='pic.jpg'>)");  // 50 bytes
        Serve("a.htm", R"(<a href="c.htm"><a href="b.htm"><a href="song.mp3">)");  // 51
        Serve("b.htm", R"(<a href="/"><a href="pic.jpg">)");  // 30
        Serve("c.htm", "no links");  // 8
    }
    void Serve(const std::string& path, std::string body, std::string status = "OK", std::string landed = "") {
        downloader.pages[Site(path)] = {std::move(status), std::move(body), std::move(landed)};
    }
    void PauseAt(const std::string& path) {  // the user presses Pause while that page downloads
        downloader.onDownload = [this, path](const std::string& address) { if (address == Site(path)) StartOrPauseCrawl(state); };
    }
    void Run() {  // presses Start (or Continue) and waits for the worker to end
        StartOrPauseCrawl(state);
        WaitForCrawlWorker(state);
    }

    testing::ScopedWorkingDirectory folder;
    testing::FakeView view;
    FakeDownloader downloader;
    AppState state;
};

// In "Links" mode the pattern list plays no part; the first 100 extensions count, each cut to 99 characters.
TEST_F(CrawlTest, AFreshCrawlWalksTheSiteBreadthFirstAndIsThenComplete) {
    state.patternList.Assign({"x"});
    state.extensionList.Assign({"jpg", "mp3"});
    for (int i = 0; i < 120; ++i) state.extensionList.Append(std::string(120, 'e'));
    Run();
    EXPECT_EQ(state.pageList.Rows(), (Rows{{Site(""), "OK"}, {Site("a.htm"), "OK"}, {Site("b.htm"), "OK"}, {Site("c.htm"), "OK"}}));
    EXPECT_EQ(std::tuple(state.resultList.Items(), state.pageList.CurrentRow(), view.Messages()),
              std::tuple(Texts{Site("pic.jpg"), Site("song.mp3")}, 3u, Texts{kDone}));
    EXPECT_EQ(view.CallsStartingWith("start"), (Texts{"start text: Pause", "start enabled", "start text: Start"}));
    EXPECT_EQ(view.CallsStartingWith("label downloadingRow"), Prefixed("label downloadingRow: ", {"1", "2", "3", "4"}));
    EXPECT_EQ(view.CallsStartingWith("page done"), Prefixed("page done: " + Site(""), {" OK", "a.htm OK", "b.htm OK", "c.htm OK"}));
    EXPECT_EQ(std::tuple(state.siteAddress, state.siteKey, state.patternCount, state.linkExtensions[1], state.linkExtensions[99],
                         state.traffic.load()),
              std::tuple("http://www.site.com", "site.com", 2, "mp3", std::string(99, 'e'), 50 + 51 + 30 + 8));
    EXPECT_TRUE(state.modified && !state.crawlRunning && !std::filesystem::exists(kTempPageFile));
}

// A fresh crawl starts unmodified; a start page that fails completes it, and a completed one is not started again.
TEST_F(CrawlTest, RefusalsComeFirstAndOnlyTheFirstHundredPatternsCount) {
    view.webSite = " \t ";
    view.grabSelection = kGrabCustom;
    Run();
    view.webSite = "http://www.down.com";
    Run();
    state.patternList.Assign({"<b > </b>", "<b> </b>", "<i> </i>"});
    Run();
    EXPECT_TRUE(downloader.requested.empty());
    state.patternList.Assign({"<b > </b>", "<b > </b>"});
    state.modified = true;
    Run();
    EXPECT_EQ(state.pageList.Rows(), (Rows{{"http://www.down.com", "INET_E_OBJECT_NOT_FOUND"}}));
    EXPECT_FALSE(state.modified);
    Texts patterns(150, "<b > </b>");
    patterns[119] = "invalid";
    state.patternList.Assign(patterns);
    Run();
    EXPECT_EQ(state.patternCount, 100);
    EXPECT_EQ(view.Messages(), (Texts{Info("Please enter a Web Site address"), Info("Please enter a custom pattern for grab"),
                                      Info("Pattern number 2 is invalid. See more info in User Manual"), kDone,
                                      Info("This project is completed. For start new select menu items Project -> New.")}));
}

// Pause finishes the page; a page that cannot be stored here, or whose download is broken off, stays current.
TEST_F(CrawlTest, AStoppedCrawlContinuesWhereItStoppedWithTheSetupAsItIsThen) {
    PauseAt("");
    downloader.pages[Site("a.htm")].status = "local: tmp.txt: Read-only file system";
    Run();
    EXPECT_EQ(view.CallsStartingWith("start"), (Texts{"start text: Pause", "start disabled", "start enabled", "start text: Continue"}));
    EXPECT_EQ(view.CallsStartingWith("beep"), Texts{"beep"});
    const std::int64_t traffic = state.traffic;
    Run();
    EXPECT_EQ(std::tuple(state.pageList.Rows(), state.pageList.CurrentRow(), view.Messages()),
              std::tuple(Rows{{Site(""), "OK"}, {Site("a.htm"), ""}, {Site("b.htm"), ""}}, 1u,
                         Texts{"message(error): Error open tmp file: tmp.txt: Read-only file system"}));
    downloader.pages[Site("a.htm")].status = "OK";
    downloader.pages[Site("c.htm")].status = "interrupted";
    state.extensionList.Assign({"mp3"});
    view.skipMask = " B.htm ";
    Run();
    EXPECT_TRUE(state.pageList.Rows()[2].result == "SKIPPED" && state.pageList.CurrentRow() == 3u);
    downloader.pages[Site("c.htm")].status = "OK";
    PauseAt("c.htm");
    Run();  // paused on the last row, which completes the crawl
    EXPECT_EQ(view.Messages().back(), kDone);
    EXPECT_EQ(state.resultList.Items(), (Texts{Site("a.htm"), Site("b.htm"), Site("pic.jpg"), Site("song.mp3")}));
    EXPECT_EQ(downloader.requested, (Texts{Site(""), Site("a.htm"), Site("a.htm"), Site("c.htm"), Site("c.htm")}));
    EXPECT_GT(state.traffic, traffic);  // counted on, not restarted
}

// Only rows that will be downloaded are announced; a failed page is not parsed; a redirected one resolves where it landed.
TEST_F(CrawlTest, EachRowKeepsWhatBecameOfItsPage) {
    Serve("", R"(<a href="Index.html"><a href="index.php?x=1"><a href="dir/"><a href="b.htm"><a href="d.htm">)"
              R"(<a href="e.htm"><a href="f.htm"><a href="index2.htm">)");
    Serve("d.htm", R"(<a href="never.htm">)", "INET_E_CANNOT_CONNECT");
    Serve("e.htm", R"(<a href="never.htm">)", "ok");
    Serve("f.htm", R"(<a href="x.htm">)", "OK", Site("new/f.htm"));
    state.pageAllowed = [](std::string_view address) { return !address.ends_with("b.htm"); };
    state.connections = 2;
    view.skipMask = "index";
    Run();
    EXPECT_EQ(state.pageList.Rows(), (Rows{{Site(""), "OK"}, {Site("Index.html"), "SKIPPED"}, {Site("index.php?x=1"), "SKIPPED"},
                                           {Site("dir/"), "INET_E_OBJECT_NOT_FOUND"}, {Site("b.htm"), "DISALLOWED"},
                                           {Site("d.htm"), "INET_E_CANNOT_CONNECT"}, {Site("e.htm"), "ok"}, {Site("f.htm"), "OK"},
                                           {Site("index2.htm"), "SKIPPED"}, {Site("new/x.htm"), "INET_E_OBJECT_NOT_FOUND"}}));
    EXPECT_EQ(downloader.announced, (std::vector<Texts>{{}, {Site("d.htm"), Site("e.htm"), Site("f.htm")},
                                                        {Site("e.htm"), Site("f.htm")}, {Site("f.htm")}, {}, {}}));
    EXPECT_EQ(view.Messages(), Texts{kDone});
}

TEST_F(CrawlTest, AThreadThatCannotBeMadeOrAFullPageListLeavesTheCrawlToBeContinued) {
    state.startThread = [](std::function<void()>) { return false; };
    StartOrPauseCrawl(state);
    EXPECT_EQ(view.Messages(), Texts{"message(error): Can not create thread. Error!"});
    EXPECT_FALSE(state.crawlRunning || state.workerActive);
    EXPECT_EQ(view.CallsStartingWith("page list").back(), "page list enabled");
    state.startThread = StartDetachedThread;
    state.pageList.SetLimit(2);
    Run();  // the parse fails: its row stays current
    EXPECT_EQ(std::tuple(view.Messages().back(), state.pageList.Rows(), state.pageList.CurrentRow()),
              std::tuple(Info("List box error. Not enough memory!"), Rows{{Site(""), "OK"}, {Site("a.htm"), ""}}, 0u));
    EXPECT_EQ(view.CallsStartingWith("start text").back(), "start text: Continue");
}

TEST_F(CrawlTest, ADownloadShowsItsProgressRoundedHalfUpAndCountsItsTrafficUpToTheLargestValue) {
    EXPECT_EQ((std::vector{ProgressPercent(66'666'667, 100'000'000), ProgressPercent(5, 1000), ProgressPercent(4, 1000),
                           ProgressPercent(123, 0), ProgressPercent(200, 100)}), (std::vector{67, 1, 0, 0, 100}));
    state.traffic = 999'990;
    EXPECT_EQ((Texts{DownloadPage(state, Site("b.htm")).status, DownloadPage(state, Site("x")).status}), (Texts{"OK", "INET_E_OBJECT_NOT_FOUND"}));
    EXPECT_EQ(view.CallsStartingWith("progress"), Prefixed("progress: ", {"0", "50", "100", "100", "0"}));
    EXPECT_EQ(view.CallsStartingWith("label traffic"), Texts{"label traffic: 1'000'020"});
    state.traffic = std::numeric_limits<std::int64_t>::max() - 3;
    DownloadPage(state, Site("a.htm"));
    EXPECT_EQ(state.traffic, std::numeric_limits<std::int64_t>::max());
}

TEST(SiteKey, FollowsTheFirstWwwOrElseTheFirstHttp) {
    for (const auto& [address, key] : {std::pair{"HTTP://WWW.Host.com/p", "Host.com/p"}, {"http://host.com/www.x", "x"},
                                       {"host.com", "host.com"}, {"https://host.com", "https://host.com"}, {"http://", ""}}) {
        EXPECT_EQ(SiteKey(address), key) << address;
    }
}

// Hours take as many digits as they need; a hand-edited count beyond its range rolls over, never wraps. "Links" and
// "All links" enable the extension side, anything else the pattern side. The project commands wait for the worker.
TEST_F(CrawlTest, TheStatusShowsTheTimerAndTheCountsAndTheControlsFollowTheGrabModeAndTheWorker) {
    TimerTick(state);
    state.crawlRunning = true;
    constexpr int kMax = std::numeric_limits<int>::max();
    for (const auto& hms : {std::tuple{0, 59, 59}, {1, 0, 0}, {99, 59, 59}, {kMax, 59, 58}, {kMax, 59, 59}, {0, 59, kMax}}) {
        std::tie(state.timerHours, state.timerMinutes, state.timerSeconds) = hms;
        TimerTick(state);
    }
    state.crawlRunning = false;
    state.workerActive = true;  // paused, with the page still being finished
    TimerTick(state);
    const MenuItemStates busy = UpdateMenuState(state);
    EXPECT_FALSE(busy.newProject || busy.loadProject || busy.saveProject || busy.saveResults);
    state.workerActive = false;
    const MenuItemStates idle = UpdateMenuState(state);
    EXPECT_TRUE(idle.newProject && idle.loadProject && idle.saveProject && idle.saveResults);
    for (int i = 0; i < 1500; ++i) state.pageList.Add("http://s/" + std::to_string(i));
    state.pageList.SetCurrentRow(1233);
    RefreshStatus(state);
    for (const int selection : {0, 1, -1, 2}) {
        view.grabSelection = selection;
        ApplyGrabMode(state);
    }
    const std::string links = "grab controls: patterns off, extensions on", custom = "grab controls: patterns on, extensions off";
    Texts calls = Prefixed("label timer: ", {"01:00:00", "01:00:01", "100:00:00", "2147483647:59:59", "2147483647:59:59", "01:00:00",
                                             "01:00:00"});
    calls.insert(calls.end(), {"label traffic: 0", "label pagesTotal: 1'500", "label resultsTotal: 0", "label downloadingAddress: http://s/1233",
                               "label downloadingRow: 1'234", "start text: Start", "progress: 0", links, custom, custom, links});
    EXPECT_EQ(view.Calls(), calls);
    EXPECT_EQ(state.grabMode, kGrabLinks);
}

}  // namespace
}  // namespace veltrano
