#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "state/app_state.h"
#include "state/lists.h"

namespace veltrano {
namespace {

TEST(PageList, AddsEachAddressOnceInAnyCase) {
    PageList pages;
    EXPECT_EQ(pages.Add("http://site/news.htm"), AddOutcome::added);
    EXPECT_EQ(pages.Add("HTTP://SITE/News.htm"), AddOutcome::present);
    EXPECT_EQ(pages.Add("http://site/news.htm "), AddOutcome::added);  // whole texts are compared
    EXPECT_EQ(pages.Count(), 2u);
    EXPECT_EQ(pages.Row(0), (PageRow{"http://site/news.htm", ""}));
    EXPECT_TRUE(pages.Contains("http://SITE/NEWS.HTM"));
    EXPECT_FALSE(pages.Contains("http://site/"));
}

TEST(PageList, OnlyAsciiLettersAreFoldedForDuplicates) {
    ResultList results;
    EXPECT_EQ(results.Add("caf\xC9"), AddOutcome::added);
    EXPECT_EQ(results.Add("CAF\xE9"), AddOutcome::added);
    EXPECT_EQ(results.Add("CAF\xC9"), AddOutcome::present);
}

TEST(PageList, ResultsCurrentRowAndFirstUnprocessed) {
    PageList pages;
    pages.Assign({{"a", "OK"}, {"b", "SKIPPED"}, {"c", ""}, {"d", ""}});
    EXPECT_EQ(pages.FirstUnprocessed(), 2u);
    EXPECT_EQ(pages.LastResult(), "");
    EXPECT_TRUE(pages.SetResult(2, "INET_E_CANNOT_CONNECT"));
    EXPECT_FALSE(pages.SetResult(9, "OK"));
    EXPECT_EQ(pages.FirstUnprocessed(), 3u);
    pages.SetCurrentRow(3);
    EXPECT_EQ(pages.CurrentRow(), 3u);
    pages.SetCurrentRow(4);  // no such row: none is current
    EXPECT_EQ(pages.CurrentRow(), std::nullopt);
    EXPECT_EQ(pages.Row(7), PageRow{});
}

TEST(PageList, AssignedAndClearedListsKeepTheirIndexRight) {
    PageList pages;
    pages.Assign({{"http://x/a", "OK"}, {"http://x/A", ""}, {"http://x/b", ""}});
    EXPECT_EQ(pages.Count(), 3u);  // loaded duplicates stay as rows
    EXPECT_EQ(pages.Add("http://X/B"), AddOutcome::present);
    EXPECT_EQ(pages.Add("http://x/c"), AddOutcome::added);
    pages.Clear();
    EXPECT_EQ(pages.Count(), 0u);
    EXPECT_EQ(pages.Add("http://x/a"), AddOutcome::added);
    EXPECT_EQ(pages.LastResult(), "");
}

TEST(PageList, ManyRowsStayFindable) {
    PageList pages;
    for (int i = 0; i < 20000; ++i) ASSERT_EQ(pages.Add("http://h/p" + std::to_string(i)), AddOutcome::added);
    for (int i = 0; i < 20000; i += 997) EXPECT_EQ(pages.Add("HTTP://H/P" + std::to_string(i)), AddOutcome::present);
    EXPECT_EQ(pages.Count(), 20000u);
}

TEST(Lists, RefuseEntriesPastTheirLimit) {
    ResultList results;
    results.SetLimit(2);
    EXPECT_EQ(results.Add("a"), AddOutcome::added);
    EXPECT_EQ(results.Add("b"), AddOutcome::added);
    EXPECT_EQ(results.Add("A"), AddOutcome::present);  // a duplicate is no refusal
    EXPECT_EQ(results.Add("c"), AddOutcome::refused);
    EXPECT_EQ(results.Items(), (std::vector<std::string>{"a", "b"}));
    PageList pages;
    pages.SetLimit(0);
    EXPECT_EQ(pages.Add("x"), AddOutcome::refused);
    EXPECT_EQ(pages.Count(), 0u);
}

TEST(Lists, ConcurrentAddsOfTheSameTextsAddEachOnce) {
    ResultList results;
    auto addAll = [&results] {
        for (int i = 0; i < 5000; ++i) results.Add("item " + std::to_string(i));
    };
    std::thread a(addAll), b(addAll);
    a.join();
    b.join();
    EXPECT_EQ(results.Count(), 5000u);
}

TEST(EditableList, FindsSelectsAndErases) {
    ExtensionList list;
    list.Assign({"htm", "MP3", "jpg"});
    EXPECT_EQ(list.FindExact("mp3"), std::nullopt);
    EXPECT_EQ(list.FindNoCase("mp3"), 1u);
    list.Select(1);
    EXPECT_EQ(list.Selection(), 1u);
    EXPECT_TRUE(list.Erase(1));
    EXPECT_EQ(list.Selection(), std::nullopt);
    EXPECT_FALSE(list.Erase(5));
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"htm", "jpg"}));
    list.Select(9);
    EXPECT_EQ(list.Selection(), std::nullopt);
}

TEST(AppState, StartsWithThePageTableAndCompiledLinkPatterns) {
    AppState state;
    const std::vector<std::string> expected = {"htm", "html", "php", "aspx", "cgi", "-"};
    for (std::size_t i = 0; i < kExtensionSlots; ++i) {
        EXPECT_EQ(state.pageExtensions[i], i < expected.size() ? expected[i] : "") << i;
    }
    CompiledPattern doubleQuote;
    CompilePattern(doubleQuote, "< A  HREF = \" \"");
    EXPECT_EQ(state.linkPatterns[0], doubleQuote);
    EXPECT_EQ(state.linkPatterns[1].tokens[5].Text(), "'");
    EXPECT_EQ(state.caption, "Veltrano");
    EXPECT_EQ(state.grabMode, kGrabLinks);
    EXPECT_EQ(state.traffic.load(), 0);
    EXPECT_EQ(state.patternCount, 0);
}

}  // namespace
}  // namespace veltrano
