#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "fake_view.h"
#include "temp_dir.h"
#include "parse/page_parser.h"
#include "state/app_state.h"

namespace veltrano {
namespace {

using Texts = std::vector<std::string>;

constexpr const char* kSite = "http://www.site.com";

class PageParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.view = &view;
        state.siteAddress = kSite;
        state.siteKey = "site.com";
        state.pageBaseAddress = kSite;
        UseLinksMode({});
    }

    void UseLinksMode(const Texts& extensions) {
        state.grabMode = kGrabLinks;
        state.patternCount = 2;
        state.patterns[0] = state.linkPatterns[0];
        state.patterns[1] = state.linkPatterns[1];
        state.linkExtensions = {};
        for (std::size_t i = 0; i < extensions.size(); ++i) state.linkExtensions[i] = extensions[i];
    }

    void UseAllLinksMode(const Texts& extensions) {
        UseLinksMode(extensions);
        state.grabMode = kGrabAllLinks;
    }

    void UseCustomMode(const Texts& patterns) {
        state.grabMode = kGrabCustom;
        state.patternCount = static_cast<int>(patterns.size());
        for (std::size_t i = 0; i < patterns.size(); ++i) CompilePattern(state.patterns[i], patterns[i]);
        state.linkExtensions = {};
    }

    Texts Pages() const {
        Texts pages;
        for (const PageRow& row : state.pageList.Rows()) pages.push_back(row.webPage);
        return pages;
    }

    // Pages found on a page whose text is `html`, in a fresh list.
    Texts PagesFrom(const std::string& html) {
        state.pageList.Clear();
        EXPECT_TRUE(ParsePageText(state, html));
        return Pages();
    }

    Texts ResultsFrom(const std::string& html) {
        state.resultList.Clear();
        EXPECT_TRUE(ParsePageText(state, html));
        return state.resultList.Items();
    }

    testing::FakeView view;
    AppState state;
};

TEST_F(PageParserTest, LinksResolveAgainstThePageOrWhereItsRedirectLanded) {
    const std::vector<std::tuple<std::string, std::string, Texts>> cases = {
        {kSite, R"(<a href="news.htm"> <A HREF='/dir/list.php?id=1'><a href="dir/"><a href="about"><a href="#top">)",
         {"http://www.site.com/news.htm", "http://www.site.com/dir/", "http://www.site.com/about",
          "http://www.site.com/#top", "http://www.site.com/dir/list.php?id=1"}},  // double quotes run first
        {kSite, R"(<a href="">)", {"http://www.site.com/"}},
        {"http://www.site.com/manual/index.html",
         R"(<a href="intro.html"><a href="../news.htm"><a href="/top.htm"><a href="#s">)"
         R"(<a href="//www.site.com/x/y.php"><a href="./a/./b/../c.htm">)",
         {"http://www.site.com/manual/intro.html", "http://www.site.com/news.htm", "http://www.site.com/top.htm",
          "http://www.site.com/manual/index.html#s", "http://www.site.com/x/y.php", "http://www.site.com/manual/a/c.htm"}},
        {"https://www.site.com/new/home.htm", R"(<a href="a.htm">)", {"https://www.site.com/new/a.htm"}},
        // Without a full base address links join the site address.
        {"www.site.com/dir/page.htm", R"(<a href="news.htm"><a href="/a/b.htm">)",
         {"www.site.com/news.htm", "www.site.com/a/b.htm"}},
    };
    for (const auto& [base, html, expected] : cases) {
        state.pageBaseAddress = base;
        state.siteAddress = base.find("://") == std::string::npos ? "www.site.com" : kSite;
        EXPECT_EQ(PagesFrom(html), expected) << base << " " << html;
    }
}

TEST_F(PageParserTest, AnEmptyLinkIsTheSiteRootUnlessHeld) {
    state.pageList.Add("http://www.site.com/");
    ASSERT_TRUE(ParsePageText(state, R"(<a href="">)"));
    EXPECT_EQ(Pages(), Texts{"http://www.site.com/"});
}

TEST_F(PageParserTest, TheExtensionTestIsCaseSensitive) {
    EXPECT_EQ(PagesFrom(R"(<a href="PAGE.HTM"><a href="pic.jpg"><a href="x.aspx">)"),
              Texts{"http://www.site.com/x.aspx"});
}

TEST_F(PageParserTest, OnlyAddressesHoldingTheSiteKeyAreCrawled) {
    EXPECT_EQ(PagesFrom(R"(<a href="http://other.org/a.htm">)"
                        R"(<a href="http://other.org/b.htm?from=site.com">)"
                        R"(<a href="HTTP://WWW.SITE.COM/c.htm">)"),
              (Texts{"http://other.org/b.htm?from=site.com", "HTTP://WWW.SITE.COM/c.htm"}));
    state.siteKey = "";
    EXPECT_EQ(PagesFrom(R"(<a href="http://other.org/a.htm">)"), Texts{"http://other.org/a.htm"});
}

TEST_F(PageParserTest, CapturesAreResolvedBeforeTheyAreTrimmed) {
    EXPECT_EQ(PagesFrom(R"(<a href=" x.htm">)"), Texts{"http://www.site.com/ x.htm"});
    EXPECT_EQ(PagesFrom(R"(<a href="x.htm ">)"), Texts{});
    UseCustomMode({"<h1 > </h1>"});
    EXPECT_EQ(ResultsFrom("<H1>  Hello  </H1>"), Texts{"Hello"});
}

TEST_F(PageParserTest, DuplicatesAddOneRowButStillMarkTheProjectModified) {
    state.pageList.Add("http://www.site.com/news.htm");
    ASSERT_TRUE(ParsePageText(state, R"(<a href="news.htm"><a href="News.htm"><a href='NEWS.htm'>)"));
    EXPECT_EQ(state.pageList.Count(), 1u);
    EXPECT_TRUE(state.modified);
}

TEST_F(PageParserTest, DroppedCapturesLeaveTheProjectUnmodified) {
    ASSERT_TRUE(ParsePageText(state, R"(<a href="http://else.net/x.htm"><a href="a.gif">)"));
    EXPECT_EQ(state.pageList.Count(), 0u);
    EXPECT_EQ(state.resultList.Count(), 2u);  // with no extension chosen every link is a result
    state.modified = false;
    UseLinksMode({"mp3"});
    ASSERT_TRUE(ParsePageText(state, R"(<a href="http://else.net/x.htm"><a href="a.gif">)"));
    EXPECT_FALSE(state.modified);
}

TEST_F(PageParserTest, LinksModeGrabsLinksWithChosenExtensionsFromAnyHost) {
    UseLinksMode({"jpg"});
    EXPECT_EQ(ResultsFrom(R"(<a href="pics/a.jpg"><a href="http://cdn.example.org/b.jpg"><img src="c.jpg">)"
                          R"(<a href="d.JPG"><a href="e.htm">)"),
              (Texts{"http://www.site.com/pics/a.jpg", "http://cdn.example.org/b.jpg"}));
    EXPECT_EQ(Pages(), Texts{"http://www.site.com/e.htm"});
}

TEST_F(PageParserTest, LinksModeWithoutExtensionsGrabsEveryLink) {
    EXPECT_EQ(ResultsFrom(R"(<a href="e.htm"><a href="f.zip"><a href="mailto:me@else.org">)"),
              (Texts{"http://www.site.com/e.htm", "http://www.site.com/f.zip", "mailto:me@else.org"}));
}

TEST_F(PageParserTest, CustomModeGrabsTrimmedCaptures) {
    UseCustomMode({"<h1 > </h1>", "<title > </title>"});
    EXPECT_EQ(ResultsFrom("<title>Home</title><h1>Hello</h1><h1 class=\"t\">Not</h1>"), (Texts{"Hello", "Home"}));
    EXPECT_EQ(Pages(), Texts{});  // the page runs still look for links
}

TEST_F(PageParserTest, CustomCapturesAreCutAt1023BytesAndAtANulByte) {
    UseCustomMode({"<b > </b>"});
    const Texts long5000 = ResultsFrom("<b>" + std::string(5000, 'z') + "</b>");
    ASSERT_EQ(long5000.size(), 1u);
    EXPECT_EQ(long5000[0], std::string(1023, 'z'));
    EXPECT_EQ(ResultsFrom(std::string("<b> ab\0cd</b>", 13)), Texts{"ab"});
    EXPECT_EQ(ResultsFrom("<b>never closed"), Texts{});
}

TEST_F(PageParserTest, InvalidPatternsAddNothing) {
    UseCustomMode({"<b> </b>"});
    EXPECT_EQ(ResultsFrom("<b>x</b>"), Texts{});
}

TEST_F(PageParserTest, SchemeLinksAreUsedAsTheyStand) {
    UseLinksMode({});
    state.pageBaseAddress = "http://www.site.com/dir/page.htm";
    EXPECT_EQ(ResultsFrom(R"x(<a href="javascript:go()"><a href="ftp://site.com/f.zip">)x"),
              (Texts{"javascript:go()", "ftp://site.com/f.zip"}));
}

TEST_F(PageParserTest, AllLinksResolvesAgainstTheBaseAndKeepsTheFilters) {
    UseAllLinksMode({"png"});
    state.pageBaseAddress = "http://www.site.com/docs/index.html";
    ASSERT_TRUE(ParsePageText(
        state, R"x(<base href="v2/"><a class="ref" href="api.html#x"><a href='api.html'><a href="api.HTML">)x"
               R"x(<area href="http://other.org/o.html"><iframe src="/frame.htm"></iframe><a href="pic.jpg">)x"
               R"x(<a href="javascript:go()"><a href="mailto:me@site.com"><img src="a.png#part">)x"
               R"x(<img srcset="b.png 2x, //cdn.org/c.png 3x"><a href="d.PNG"><img src="data:image/png,x.png">)x"
               R"x(<a href="https://www.site.com/docs/">)x"));
    EXPECT_EQ(Pages(), (Texts{"http://www.site.com/docs/v2/api.html", "http://www.site.com/frame.htm",
                              "https://www.site.com/docs/"}));
    EXPECT_EQ(state.resultList.Items(), (Texts{"http://www.site.com/docs/v2/a.png", "http://www.site.com/docs/v2/b.png",
                                               "http://cdn.org/c.png"}));
    EXPECT_TRUE(state.modified);
}

TEST_F(PageParserTest, AllLinksWithoutAUsableBaseResolvesAgainstThePage) {
    UseAllLinksMode({});
    state.pageBaseAddress = "http://www.site.com/docs/index.html";
    EXPECT_EQ(ResultsFrom(R"x(<base href="javascript:x"><a href="a.htm"><link href="s.css">)x"),
              (Texts{"http://www.site.com/docs/a.htm", "http://www.site.com/docs/s.css"}));
    state.pageBaseAddress = "www.site.com/dir/page.htm";  // no full address: the site's root
    EXPECT_EQ(ResultsFrom(R"x(<a href="b.htm">)x"), Texts{"http://www.site.com/b.htm"});
}

TEST_F(PageParserTest, AllLinksTakesNoPatternRunsAndMissesWhatABrowserMisses) {
    const std::string html = R"x(<!-- <a href="old.htm"> --><a title="t" href="new.htm"><a href="cut.htm")x";
    EXPECT_EQ(PagesFrom(html), (Texts{"http://www.site.com/old.htm", "http://www.site.com/cut.htm"}));
    UseAllLinksMode({});
    EXPECT_EQ(PagesFrom(html), Texts{"http://www.site.com/new.htm"});
    state.pageList.Clear();
    state.pageList.SetLimit(1);
    EXPECT_FALSE(ParsePageText(state, "<a href=x.htm><a href=y.htm>"));
    EXPECT_EQ(view.Messages(), Texts{"message(info): List box error. Not enough memory!"});
}

TEST_F(PageParserTest, ReportsTotalsAndShowsTheLastResult) {
    UseLinksMode({"jpg"});
    ASSERT_TRUE(ParsePageText(state, R"(<a href="a.htm"><a href="b.jpg">)"));
    EXPECT_EQ(view.Calls(), (Texts{"list changed: pages", "list changed: results", "label pagesTotal: 1",
                                   "show last result", "label resultsTotal: 1"}));
    view.ClearCalls();
    ASSERT_TRUE(ParsePageText(state, ""));  // an empty page still refreshes the totals
    EXPECT_EQ(view.Calls(), (Texts{"label pagesTotal: 1", "show last result", "label resultsTotal: 1"}));
}

TEST_F(PageParserTest, TotalsAreGroupedInThousands) {
    std::string html;
    for (int i = 0; i < 1234; ++i) html += "<a href=\"p" + std::to_string(i) + ".htm\">";
    ASSERT_TRUE(ParsePageText(state, html));
    EXPECT_EQ(view.CallsStartingWith("label pagesTotal"), Texts{"label pagesTotal: 1'234"});
}

TEST_F(PageParserTest, ARefusedPageRowFailsTheParse) {
    state.pageList.SetLimit(1);
    UseLinksMode({"htm"});
    EXPECT_FALSE(ParsePageText(state, R"(<a href="a.htm"><a href="b.htm">)"));
    EXPECT_EQ(view.Messages(), Texts{"message(info): List box error. Not enough memory!"});
    EXPECT_EQ(Pages(), Texts{"http://www.site.com/a.htm"});  // rows added before the failure stay
    EXPECT_EQ(state.resultList.Count(), 0u);                  // no result run was made
    EXPECT_TRUE(view.CallsStartingWith("label").empty());
}

TEST_F(PageParserTest, ARefusedResultOnlyEndsItsOwnRun) {
    UseCustomMode({"<b > </b>", "<i > </i>"});
    state.resultList.SetLimit(2);
    EXPECT_TRUE(ParsePageText(state, "<b>1</b><b>2</b><b>3</b><i>4</i>"));
    EXPECT_EQ(state.resultList.Items(), (Texts{"1", "2"}));
    EXPECT_TRUE(view.Messages().empty());
    state.resultList.SetLimit(3);
    state.resultList.Clear();
    EXPECT_TRUE(ParsePageText(state, "<b>1</b><b>2</b><b>3</b><b>5</b><i>4</i>"));
    EXPECT_EQ(state.resultList.Items(), (Texts{"1", "2", "3"}));
}

// ParsePage reads the temporary page file from the working directory.
class ParsePageFileTest : public PageParserTest {
protected:
    static void WriteTempPage(const std::string& bytes) { testing::WriteBytes(kTempPageFile, bytes); }
    testing::ScopedWorkingDirectory folder;
};

TEST_F(ParsePageFileTest, ParsesTheTempPageFileOrSaysWhyNot) {
    EXPECT_FALSE(ParsePage(state));
    EXPECT_EQ(view.Messages(), Texts{"message(info): Error open tmp file"});
    WriteTempPage("");
    EXPECT_TRUE(ParsePage(state));
    EXPECT_EQ(view.CallsStartingWith("label"), (Texts{"label pagesTotal: 0", "label resultsTotal: 0"}));
    WriteTempPage(std::string("<a href=\"a.htm\">\0<a href='b.htm'>", 33));
    EXPECT_TRUE(ParsePage(state));
    EXPECT_EQ(Pages(), (Texts{"http://www.site.com/a.htm", "http://www.site.com/b.htm"}));
}

}  // namespace
}  // namespace veltrano
