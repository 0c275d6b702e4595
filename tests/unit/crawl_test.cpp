#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "crawl/crawl_start.h"
#include "crawl/crawl_worker.h"
#include "fake_downloader.h"
#include "fake_view.h"
#include "fetch/download_page.h"
#include "state/app_state.h"
#include "temp_dir.h"

namespace veltrano {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

constexpr const char* kRoot = "http://www.site.com";

std::string Link(const std::string& target) { return "<a href=\"" + target + "\">"; }

class CrawlTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.view = &view;
        state.downloader = &downloader;
        view.webSite = std::string(kRoot) + "/";
        view.grabSelection = kGrabLinks;
        Serve(std::string(kRoot) + "/", Link("a.htm") + Link("b.htm") + Link("pic.jpg"));
        Serve(std::string(kRoot) + "/a.htm", Link("c.htm") + Link("b.htm") + Link("song.mp3"));
        Serve(std::string(kRoot) + "/b.htm", Link("/") + Link("pic.jpg"));
        Serve(std::string(kRoot) + "/c.htm", "no links");
    }

    void Serve(const std::string& address, const std::string& body) { downloader.pages[address] = {"OK", body, ""}; }

    // Presses Start (or Continue) and waits for the worker to end.
    void Run() {
        StartOrPauseCrawl(state);
        WaitForCrawlWorker(state);
    }

    std::vector<PageRow> Rows() const { return state.pageList.Rows(); }

    testing::ScopedWorkingDirectory folder;
    testing::FakeView view;
    testing::FakeDownloader downloader;
    AppState state;
};

TEST_F(CrawlTest, AFreshCrawlWalksTheSiteBreadthFirst) {
    state.extensionList.Assign({"jpg", "mp3"});
    Run();
    EXPECT_EQ(Rows(), (std::vector<PageRow>{{"http://www.site.com/", "OK"},
                                            {"http://www.site.com/a.htm", "OK"},
                                            {"http://www.site.com/b.htm", "OK"},
                                            {"http://www.site.com/c.htm", "OK"}}));
    EXPECT_EQ(state.resultList.Items(), (Texts{"http://www.site.com/pic.jpg", "http://www.site.com/song.mp3"}));
    EXPECT_EQ(view.Messages(), Texts{"message(info): The project is completed successfully!"});
    EXPECT_EQ(view.CallsStartingWith("start"), (Texts{"start text: Pause", "start enabled", "start text: Start"}));
    EXPECT_EQ(state.siteAddress, "http://www.site.com");
    EXPECT_EQ(state.siteKey, "site.com");
    EXPECT_FALSE(state.crawlRunning);
    EXPECT_FALSE(fs::exists(kTempPageFile));
    EXPECT_TRUE(state.modified);
    const std::int64_t bytes = static_cast<std::int64_t>(
        downloader.pages["http://www.site.com/"].body.size() + downloader.pages["http://www.site.com/a.htm"].body.size() +
        downloader.pages["http://www.site.com/b.htm"].body.size() + downloader.pages["http://www.site.com/c.htm"].body.size());
    EXPECT_EQ(state.traffic, bytes);
    EXPECT_EQ(view.CallsStartingWith("label downloadingRow"),
              (Texts{"label downloadingRow: 1", "label downloadingRow: 2", "label downloadingRow: 3",
                     "label downloadingRow: 4"}));
    EXPECT_EQ(view.CallsStartingWith("page done"),
              (Texts{"page done: http://www.site.com/ OK", "page done: http://www.site.com/a.htm OK",
                     "page done: http://www.site.com/b.htm OK", "page done: http://www.site.com/c.htm OK"}));
}

TEST_F(CrawlTest, RefusalsComeInTheirOrder) {
    view.webSite = " \t ";
    view.grabSelection = kGrabCustom;
    Run();
    view.webSite = kRoot;
    Run();
    state.patternList.Assign({"<b > </b>", "<b> </b>", "<i> </i>"});
    Run();
    EXPECT_EQ(view.Messages(), (Texts{"message(info): Please enter a Web Site address",
                                      "message(info): Please enter a custom pattern for grab",
                                      "message(info): Pattern number 2 is invalid. See more info in User Manual"}));
    EXPECT_EQ(state.pageList.Count(), 0u);
    EXPECT_TRUE(downloader.Requested().empty());
    // Corrected, the pattern is accepted at the next press.
    state.patternList.Assign({"<b > </b>", "<b > </b>"});
    Run();
    EXPECT_EQ(view.Messages().back(), "message(info): The project is completed successfully!");
}

TEST_F(CrawlTest, OnlyTheFirstHundredPatternsAreCompiledAndTested) {
    view.grabSelection = kGrabCustom;
    std::vector<std::string> patterns(150, "<b > </b>");
    patterns[119] = "invalid";
    state.patternList.Assign(patterns);
    Run();
    EXPECT_EQ(state.patternCount, 100);
    EXPECT_TRUE(view.Messages().size() == 1 && view.Messages()[0].find("completed successfully") != std::string::npos);
}

TEST_F(CrawlTest, LinksModeIgnoresThePatternList) {
    state.patternList.Assign({"x"});
    state.extensionList.Assign(std::vector<std::string>(120, std::string(120, 'e')));
    Run();
    EXPECT_EQ(state.patternCount, 2);
    EXPECT_EQ(state.linkExtensions[99], std::string(99, 'e'));
    EXPECT_EQ(view.Messages(), Texts{"message(info): The project is completed successfully!"});
}

TEST_F(CrawlTest, ACompletedProjectIsNotStartedAgain) {
    Run();
    view.ClearCalls();
    view.webSite = "http://elsewhere.org";
    Run();
    EXPECT_EQ(view.Calls(), (Texts{"message(info): This project is completed. For start new select menu items Project -> New."}));
}

TEST_F(CrawlTest, SiteKeyFollowsWwwOrElseTheScheme) {
    EXPECT_EQ(SiteKey("http://www.host.com/path"), "host.com/path");
    EXPECT_EQ(SiteKey("http://host.com/path"), "host.com/path");
    EXPECT_EQ(SiteKey("host.com"), "host.com");
    EXPECT_EQ(SiteKey("HTTP://WWW.Host.com"), "Host.com");
    EXPECT_EQ(SiteKey("http://host.com/www.x"), "x");
    EXPECT_EQ(SiteKey("https://host.com"), "https://host.com");
    EXPECT_EQ(SiteKey("http://"), "");
}

TEST_F(CrawlTest, PauseFinishesThePageAndContinueGoesOnBelowIt) {
    downloader.onDownload = [this](const std::string& address) {
        if (address == "http://www.site.com/a.htm") StartOrPauseCrawl(state);  // the user presses Pause
    };
    Run();
    EXPECT_EQ(Rows()[1].result, "OK");
    EXPECT_EQ(Rows()[2].result, "");
    EXPECT_EQ(state.pageList.CurrentRow(), 2u);
    EXPECT_EQ(view.CallsStartingWith("start"),
              (Texts{"start text: Pause", "start disabled", "start enabled", "start text: Continue"}));
    EXPECT_EQ(view.CallsStartingWith("beep"), Texts{"beep"});
    EXPECT_TRUE(view.Messages().empty());
    EXPECT_FALSE(fs::exists(kTempPageFile));

    downloader.onDownload = nullptr;
    const std::int64_t trafficBefore = state.traffic;
    Run();
    EXPECT_EQ(downloader.Requested(), (Texts{"http://www.site.com/", "http://www.site.com/a.htm",
                                             "http://www.site.com/b.htm", "http://www.site.com/c.htm"}));
    EXPECT_GT(state.traffic, trafficBefore);  // counted on, not restarted
    EXPECT_EQ(view.Messages(), Texts{"message(info): The project is completed successfully!"});
}

TEST_F(CrawlTest, APauseOnTheLastRowEndsTheCrawlComplete) {
    downloader.onDownload = [this](const std::string& address) {
        if (address == "http://www.site.com/c.htm") StartOrPauseCrawl(state);
    };
    Run();
    EXPECT_EQ(view.Messages(), Texts{"message(info): The project is completed successfully!"});
}

TEST_F(CrawlTest, TheSkipMaskSkipsPagesWhoseFileNameBeginsWithIt) {
    Serve("http://www.site.com/", Link("Index.html") + Link("index.php?x=1") + Link("dir/") + Link("c.htm"));
    view.skipMask = "  index ";
    Run();
    EXPECT_EQ(Rows(), (std::vector<PageRow>{{"http://www.site.com/", "OK"},
                                            {"http://www.site.com/Index.html", "SKIPPED"},
                                            {"http://www.site.com/index.php?x=1", "SKIPPED"},
                                            {"http://www.site.com/dir/", "INET_E_OBJECT_NOT_FOUND"},
                                            {"http://www.site.com/c.htm", "OK"}}));
    EXPECT_EQ(state.skipMask, "index");
    // An address without a path is its own file name; a mask longer than the name never skips.
    for (const auto& [mask, result] : {std::pair{"index", "SKIPPED"}, std::pair{"indexsite.com.old", "OK"}}) {
        SetUp();
        state.pageList.Clear();
        view.webSite = "indexsite.com";
        Serve("indexsite.com", "");
        view.skipMask = mask;
        Run();
        EXPECT_EQ(Rows(), (std::vector<PageRow>{{"indexsite.com", result}}));
    }
}

TEST_F(CrawlTest, FailedDownloadsAreRecordedAndNeverParsed) {
    downloader.pages["http://www.site.com/a.htm"] = {"INET_E_CANNOT_CONNECT", Link("never.htm"), ""};
    downloader.pages["http://www.site.com/b.htm"] = {"ok", Link("never.htm"), ""};
    Run();
    EXPECT_EQ(Rows()[1].result, "INET_E_CANNOT_CONNECT");
    EXPECT_EQ(Rows()[2].result, "ok");
    EXPECT_EQ(view.CallsStartingWith("page done").at(1), "page done: http://www.site.com/a.htm INET_E_CANNOT_CONNECT");
    EXPECT_FALSE(state.pageList.Contains("http://www.site.com/never.htm"));
    EXPECT_EQ(view.Messages(), Texts{"message(info): The project is completed successfully!"});
}

TEST_F(CrawlTest, APageThatCannotBeStoredHerePausesTheCrawlOnItsRow) {
    downloader.localFailures["http://www.site.com/a.htm"] = "tmp.txt: Read-only file system";
    Run();
    EXPECT_EQ(Rows(), (std::vector<PageRow>{{"http://www.site.com/", "OK"},
                                            {"http://www.site.com/a.htm", ""},
                                            {"http://www.site.com/b.htm", ""}}));
    EXPECT_EQ(state.pageList.CurrentRow(), 1u);
    EXPECT_EQ(view.Messages(), Texts{"message(error): Error open tmp file: tmp.txt: Read-only file system"});
    EXPECT_EQ(view.CallsStartingWith("start text").back(), "start text: Continue");
    EXPECT_EQ(view.CallsStartingWith("progress").back(), "progress: 0");

    // Once the page can be stored, Continue takes it up again.
    downloader.localFailures.clear();
    downloader.interrupted.insert("http://www.site.com/b.htm");
    Run();
    EXPECT_EQ(Rows()[1], (PageRow{"http://www.site.com/a.htm", "OK"}));
    EXPECT_EQ(Rows()[2], (PageRow{"http://www.site.com/b.htm", ""}));  // broken off: fetched again later
    EXPECT_EQ(state.pageList.CurrentRow(), 2u);
    EXPECT_EQ(view.Messages().size(), 1u);
    downloader.interrupted.clear();
    Run();
    EXPECT_EQ(view.Messages().back(), "message(info): The project is completed successfully!");
    EXPECT_EQ(downloader.Requested(), (Texts{"http://www.site.com/", "http://www.site.com/a.htm", "http://www.site.com/a.htm",
                                             "http://www.site.com/b.htm", "http://www.site.com/b.htm",
                                             "http://www.site.com/c.htm"}));
}

TEST_F(CrawlTest, PagesThatMayNotBeFetchedAreMarkedAndNeverAnnounced) {
    state.pageAllowed = [](std::string_view address) { return address.find("b.htm") == std::string_view::npos; };
    state.connections = 2;
    view.skipMask = "c";
    Serve(std::string(kRoot) + "/", Link("a.htm") + Link("b.htm") + Link("c.htm") + Link("d.htm") + Link("e.htm"));
    Serve(std::string(kRoot) + "/a.htm", "");
    Serve(std::string(kRoot) + "/d.htm", "");
    Serve(std::string(kRoot) + "/e.htm", "");
    Run();
    EXPECT_EQ(Rows(), (std::vector<PageRow>{{"http://www.site.com/", "OK"},
                                            {"http://www.site.com/a.htm", "OK"},
                                            {"http://www.site.com/b.htm", "DISALLOWED"},
                                            {"http://www.site.com/c.htm", "SKIPPED"},
                                            {"http://www.site.com/d.htm", "OK"},
                                            {"http://www.site.com/e.htm", "OK"}}));
    EXPECT_EQ(view.CallsStartingWith("page done").at(2), "page done: http://www.site.com/b.htm DISALLOWED");
    // Each download is told of the pages below it that will be downloaded, in order.
    EXPECT_EQ(downloader.Announced(),
              (Texts{"http://www.site.com/a.htm then http://www.site.com/d.htm http://www.site.com/e.htm",
                     "http://www.site.com/d.htm then http://www.site.com/e.htm"}));
    EXPECT_EQ(downloader.Requested(), (Texts{"http://www.site.com/", "http://www.site.com/a.htm",
                                             "http://www.site.com/d.htm", "http://www.site.com/e.htm"}));
}

TEST_F(CrawlTest, AStartPageThatFailsEndsTheCrawlComplete) {
    view.webSite = "http://www.down.com";
    Run();
    EXPECT_EQ(Rows(), (std::vector<PageRow>{{"http://www.down.com", "INET_E_OBJECT_NOT_FOUND"}}));
    EXPECT_EQ(view.Messages(), Texts{"message(info): The project is completed successfully!"});
}

TEST_F(CrawlTest, AParserFailureStopsTheCrawlWithTheRowStillCurrent) {
    state.pageList.SetLimit(2);
    Run();
    EXPECT_EQ(view.Messages(), Texts{"message(info): List box error. Not enough memory!"});
    EXPECT_EQ(Rows(), (std::vector<PageRow>{{"http://www.site.com/", "OK"}, {"http://www.site.com/a.htm", ""}}));
    EXPECT_EQ(state.pageList.CurrentRow(), 0u);
    EXPECT_EQ(view.CallsStartingWith("start text").back(), "start text: Continue");
    EXPECT_FALSE(fs::exists(kTempPageFile));
}

TEST_F(CrawlTest, LinksOnARedirectedPageResolveWhereItLanded) {
    downloader.pages["http://www.site.com/"] = {"OK", Link("x.htm"), "http://www.site.com/new/index.htm"};
    Run();
    EXPECT_EQ(Rows()[1].webPage, "http://www.site.com/new/x.htm");
}

TEST_F(CrawlTest, AThreadThatCannotBeMadeLeavesTheCrawlIdle) {
    state.startThread = [](std::function<void()>) { return false; };
    StartOrPauseCrawl(state);
    EXPECT_EQ(view.Messages(), Texts{"message(error): Can not create thread. Error!"});
    EXPECT_FALSE(state.crawlRunning);
    EXPECT_FALSE(state.workerActive);
    EXPECT_EQ(view.CallsStartingWith("page list").back(), "page list enabled");
    EXPECT_EQ(view.CallsStartingWith("start text").back(), "start text: Continue");
    // With a thread it goes on from there.
    state.startThread = StartDetachedThread;
    Run();
    EXPECT_EQ(state.pageList.Count(), 4u);
}

TEST_F(CrawlTest, TheSnapshotIsTakenAtEachContinue) {
    downloader.onDownload = [this](const std::string& address) {
        if (address == "http://www.site.com/") StartOrPauseCrawl(state);
    };
    Run();
    downloader.onDownload = nullptr;
    state.extensionList.Assign({"mp3"});
    view.skipMask = "c.htm";
    Run();
    // The first page ran with no extension chosen (every link a result); the
    // rest with "mp3" only.
    EXPECT_EQ(state.resultList.Items(), (Texts{"http://www.site.com/a.htm", "http://www.site.com/b.htm",
                                               "http://www.site.com/pic.jpg", "http://www.site.com/song.mp3"}));
    EXPECT_EQ(Rows()[3].result, "SKIPPED");
}

TEST_F(CrawlTest, TrafficStopsAtItsLargestValue) {
    state.pageList.Assign({{"http://www.site.com/", "OK"}, {"http://www.site.com/c.htm", ""}});
    state.traffic = std::numeric_limits<std::int64_t>::max() - 3;
    Run();
    EXPECT_EQ(state.traffic, std::numeric_limits<std::int64_t>::max());
}

TEST(DownloadPage, ProgressIsRoundedHalfUp) {
    EXPECT_EQ(ProgressPercent(50'000'000, 100'000'000), 50);
    EXPECT_EQ(ProgressPercent(66'666'667, 100'000'000), 67);
    EXPECT_EQ(ProgressPercent(5, 1000), 1);
    EXPECT_EQ(ProgressPercent(4, 1000), 0);
    EXPECT_EQ(ProgressPercent(123, 0), 0);
    EXPECT_EQ(ProgressPercent(200, 100), 100);
}

TEST(DownloadPage, TrafficCountsEachFinishedDownload) {
    testing::ScopedWorkingDirectory folder;
    testing::FakeView view;
    testing::FakeDownloader downloader;
    AppState state;
    state.view = &view;
    state.downloader = &downloader;
    downloader.pages["http://h/1"] = {"OK", std::string(1500, 'x'), ""};
    downloader.pages["http://h/2"] = {"OK", std::string(2500, 'y'), ""};
    state.traffic = 998000;
    EXPECT_EQ(DownloadPage(state, "http://h/1").status, "OK");
    EXPECT_EQ(DownloadPage(state, "http://h/2").status, "OK");
    EXPECT_EQ(DownloadPage(state, "http://h/3").status, "INET_E_OBJECT_NOT_FOUND");
    EXPECT_EQ(state.traffic, 1002000);
    EXPECT_EQ(view.CallsStartingWith("label traffic").back(), "label traffic: 1'002'000");
    EXPECT_EQ(view.CallsStartingWith("progress"),
              (Texts{"progress: 0", "progress: 50", "progress: 100", "progress: 100", "progress: 0", "progress: 50",
                     "progress: 100", "progress: 100", "progress: 0"}));
    EXPECT_EQ(testing::ReadBytes(kTempPageFile), std::string(2500, 'y'));
}

}  // namespace
}  // namespace veltrano
