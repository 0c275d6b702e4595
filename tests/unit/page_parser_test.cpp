#include <gtest/gtest.h>


#include "test_support.h"
#include "parse/html_links.h"
#include "parse/page_parser.h"
#include "state/app_state.h"

namespace veltrano {
namespace {

using Texts = std::vector<std::string>;
using Found = std::pair<Texts, Texts>;  // pages, results

// The addresses in one list of each page.
void Expect(Texts HtmlLinks::*list, const std::vector<std::pair<std::string, Texts>>& cases) {
    for (const auto& [html, expected] : cases) EXPECT_EQ(ReadHtmlLinks(html).*list, expected) << html;
}

TEST(HtmlLinksTest, TagsAndAttributesAreReadAsABrowserReadsThem) {
    std::string many = "<a";  // past 16 attributes the names are looked up in a set
    for (int i = 0; i < 20; ++i) many += " a" + std::to_string(i % 18);
    Expect(&HtmlLinks::pages, {
        {R"h(<a class="reference internal" href="a.html"><A HREF=b.html TITLE=x>)h", {"a.html", "b.html"}},
        {"<a\n  href\n =\n 'c.html'\n><a title=\"x > y\" href=\"d.html\">", {"c.html", "d.html"}},
        {R"h(<a title='say "hi"' href='e.html'><a href="f.html" href="g.html">)h", {"e.html", "f.html"}},
        {R"h(<a data-href="no.html" hreflang=en><a href><a/href=h.html><a id=x"y href=i.html>)h", {"h.html", "i.html"}},
        {R"h(<a href="j.html"title="t"><a href=k.html/><a =x href=u.html>)h", {"j.html", "k.html/", "u.html"}},
        {"<a href=  '  l.html\n'  ><a href='m\n.ht\tml'>", {"l.html", "m.html"}},  // blanks go, and breaks inside
        {many + " href=n.html href=o.html>", {"n.html"}},
        {std::string("<a href=\"n\0.html\">", 18), {"n\xEF\xBF\xBD.html"}},
        {R"h(<a href="cut.html)h", {}}, {"<a href=cut.html", {}},  // a tag cut off by the end is dropped
        {"< a href=no.html><a href=x.html<b><<a href=y.html></><a href=v.html>", {"x.html<b", "y.html", "v.html"}},
        {"<p <a href=w.html>", {}},  // "<a" is an attribute name of <p>
    });
}

TEST(HtmlLinksTest, CharacterReferencesAreDecodedAsInAttributes) {
    Expect(&HtmlLinks::pages, {
        {R"h(<a href=?a&amp;b><a href=?a&ampb><a href=?a&amp=b><a href=?x&amp>)h", {"?a&b", "?a&ampb", "?a&amp=b", "?x&"}},
        {R"h(<a href="&#x41;&#66;&#x43"><a href="&unknown;&#;&#x;&">)h", {"ABC", "&unknown;&#;&#x;&"}},
        {R"h(<a href="&#128;&#0;&#xD800;&#x110000;&#x10FFFF;&#xDFFF;&#xE000;">)h",  // as windows-1252, or U+FFFD
         {"\xE2\x82\xAC\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xF4\x8F\xBF\xBF\xEF\xBF\xBD\xEE\x80\x80"}},
        {R"h(<a href="&eacute;&Eacute;&notin;&notit;&CounterClockwiseContourIntegral;">)h",
         {"\xC3\xA9\xC3\x89\xE2\x88\x89&notit;\xE2\x88\xB3"}},
    });
}

TEST(HtmlLinksTest, TheFirstBaseWithAnAddressSetsTheBase) {
    EXPECT_EQ(ReadHtmlLinks(R"h(<base target=_top><base href=" /docs/ "><base href="/other/">)h").base, "/docs/");
    EXPECT_EQ(ReadHtmlLinks(R"h(<a href=x><base href="later/">)h").base, "later/");
    EXPECT_EQ(ReadHtmlLinks(R"h(<base href="/docs/">)h").resources, Texts{});
}

TEST(HtmlLinksTest, NothingInCommentsScriptsOrOtherTextIsATag) {
    Expect(&HtmlLinks::pages, {
        {R"h(<!-- <a href="c1"> --><a href="ok1"><!-- 1 > 0 <a href="c0"> --><!-- a -- b --!><a href="ok2">)h",
         {"ok1", "ok2"}},
        {R"h(<!--><a href="ok3"><!---><a href="ok4"><!-- a ---x---><a href="ok5"><!-- never closed <a href="c2">)h",
         {"ok3", "ok4", "ok5"}},
        {R"h(<!DOCTYPE html><a href="ok6"><! bogus <a href="c3"> ><?php '<a href="c4">' ?><a href="ok7"></a href="e">)h",
         {"ok6", "ok7"}},  // end tags carry no links
        {R"h(<script>if (a</b) x = '</scripts>'; '<a href="s2">'</SCRIPT ><a href="ok9">)h", {"ok9"}},
        {R"h(<script><!--<script></script><a href="s3"></script>--></script><a href="ok10">)h", {"ok10"}},
        {R"h(<style>a[href="<a href=s4>"]{}</style><a href="ok12">)h", {"ok12"}},
        {R"h(<textarea><a href=t1></textarea><title><a href=t2></title><xmp><a href=x></xmp><noframes><a href=x></noframes>)h"
         R"h(<noscript><a href="ok13"></noscript><plaintext><a href="p1">)h", {"ok13"}},  // read as with scripting off
    });
}

// A long run of dashes in a comment, or a tag of many attributes, once took time growing with their square.
TEST(HtmlLinksTest, HostileMarkupIsReadToItsEnd) {
    std::string page = "<!--" + std::string(2'000'000, '-') + "x--><a href=\"after.html\"><a";
    for (int i = 0; i < 200'000; ++i) page += " a" + std::to_string(i) + " a" + std::to_string(i);
    EXPECT_EQ(ReadHtmlLinks(page + " href=last.html>").pages, (Texts{"after.html", "last.html"}));
}

TEST(HtmlLinksTest, AreasFramesAndRefreshesLeadToPages) {
    Expect(&HtmlLinks::pages, {
        {R"h(<map><area shape=rect href="m.html"></map><frameset><frame src="f.html"></frameset>)h", {"m.html", "f.html"}},
        {R"h(<iframe src="i.html"><a href="fb.html"></iframe><link href="s.css"><a href="a.html">)h", {"i.html", "a.html"}},
        {R"h(<meta http-equiv=refresh content="0; url=n"><meta HTTP-EQUIV=Refresh content="5;URL='q'">)h", {"n", "q"}},
        {R"h(<meta http-equiv=refresh content="3, o"><meta http-equiv=refresh content="1.5 url = s ">)h", {"o", "s"}},
        {R"h(<meta http-equiv=refresh content="2x url=no.html"><meta name=refresh content="0; url=no.html">)h", {}},
    });
}

TEST(HtmlLinksTest, EveryAddressAPageUsesIsAResourceInDocumentOrder) {
    Expect(&HtmlLinks::resources, {
        {R"h(<link rel=stylesheet href="s.css"><script src="j.js"></script><body background="bg.gif">)h"
         R"h(<a href="p.html"><img src="i.png" lowsrc="l.gif"><video poster="v.jpg"><source src="v.mp4">)h"
         R"h(<object data="o.svg"></object><input type=image src="b.png"><svg><image xlink:href="x.png"/></svg>)h"
         R"h(<div data="not-object"><meta http-equiv="refresh" content="0; url=next.html">)h",
         {"s.css", "j.js", "bg.gif", "p.html", "i.png", "l.gif", "v.jpg", "v.mp4", "o.svg", "b.png", "x.png", "next.html"}},
        {R"h(<img srcset=" a.png, b.png 2x,, c.png"><img srcset="d,e.png">)h", {"a.png", "b.png", "c.png", "d,e.png"}},
        {R"h(<img srcset="a.png (x, y) 2x, b.png"><link rel=preload imagesrcset="p.png 1x">)h", {"a.png", "b.png", "p.png"}},
        {R"h(<p style="background: URL( 'a.png' ) no-repeat;border-image:url(&quot;c.png&quot;)">)h", {"a.png", "c.png"}},
        {R"h(<style>@import "d.css"; @import url(e.css); .x{b:url(f\).png)}</style>)h", {"d.css", "e.css", "f).png"}},
        {R"h(<style>/* url(no.png) */ .y{content:"url(no2.png)"; cursor:url("g.cur")} .z{--myurl(no3.png)}</style>)h",
         {"g.cur"}},
    });
}

TEST(HtmlLinksTest, SvgAndMathMarkupEndsWhereBrowsersEndIt) {
    Expect(&HtmlLinks::pages, {
        {R"h(<svg><![CDATA[<a href="c.html">]]><a href="svg.html"/></svg><![CDATA[<a href="b.html">]]><a href="ok.html">)h",
         {"svg.html", "ok.html"}},  // CDATA only within SVG and MathML
        {R"h(<svg><title><a href="s.html"></title></svg><title><a href="t.html"></title>)h", {"s.html"}},
        {R"h(<svg><a xlink:href="x.html"><text>x</text></a><style><a href="in-svg.html"></style></svg>)h",
         {"x.html", "in-svg.html"}},  // markup, not text
        // Within these HTML is read again: a script is text.
        {R"h(<svg><foreignObject><script>'<a href=n1>'</script><svg><font size=1><script>'<a href=n4>')h", {}},
        {R"h(<math><mi><script>'<a href=n2>'</script></mi><annotation-xml encoding=TEXT/HTML><script>'<a href=n3>')h", {}},
        {R"h(<math><annotation-xml><script>'<a href="in-math.html">'</script></annotation-xml></math>)h", {"in-math.html"}},
        {R"h(<math><mrow encoding="text/html"><style><a href="mrow.html"></style></mrow></math>)h", {"mrow.html"}},
    });
    Expect(&HtmlLinks::resources, {
        {R"h(<svg><style>.c{fill:url(s.png)}</style><style><![CDATA[ .d{fill:url(d.png)} ]]></style></svg>)h"
         R"h(<svg><foreignObject><style>.e{background:url(fo.png)}</style></foreignObject></svg>)h",
         {"s.png", "d.png", "fo.png"}},
    });
}

constexpr const char* kSite = "http://www.site.com";

class PageParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.view = &view;
        state.siteAddress = state.pageBaseAddress = kSite;
        state.siteKey = "site.com";
        Use(kGrabLinks);
    }

    // A grab mode with its link extensions or, for Custom, its patterns.
    void Use(int mode, const Texts& texts = {}) {
        state.grabMode = mode;
        state.linkExtensions = {};
        state.patterns = {state.linkPatterns[0], state.linkPatterns[1]};
        state.patternCount = mode == kGrabCustom ? static_cast<int>(texts.size()) : 2;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (mode == kGrabCustom) CompilePattern(state.patterns[i], texts[i]);
            else state.linkExtensions[i] = texts[i];
        }
    }

    Texts Pages() const {
        Texts pages;
        for (const PageRow& row : state.pageList.Rows()) pages.push_back(row.webPage);
        return pages;
    }

    // The pages and results found on a page of `html`, parsed into empty lists.
    Found Parse(const std::string& html) {
        state.pageList.Clear();
        state.resultList.Clear();
        EXPECT_TRUE(ParsePageText(state, html));
        return {Pages(), state.resultList.Items()};
    }

    testing::FakeView view;
    AppState state;
};

// Links resolve against the page (or where its redirect landed), else join the site address. Pages hold the
// site key and have a page extension (case kept); blanks around a capture go after that.
TEST_F(PageParserTest, LinksModeCrawlsThePagesOfTheSite) {
    Use(kGrabLinks, {"none"});
    const std::tuple<std::string, std::string, Texts> cases[] = {
        {kSite, R"(<a href="news.htm"> <A HREF='/dir/list.php?id=1'><a href="dir/"><a href="#top">)",  // double quotes first
         {"http://www.site.com/news.htm", "http://www.site.com/dir/", "http://www.site.com/#top",
          "http://www.site.com/dir/list.php?id=1"}},
        {"https://www.site.com/manual/index.html", R"(<a href="../news.htm"><a href="#s"><a href="//www.site.com/x.php">)",
         {"https://www.site.com/news.htm", "https://www.site.com/manual/index.html#s", "https://www.site.com/x.php"}},
        {"www.site.com/dir/page.htm", R"(<a href="n.htm"><a href="/a/b.htm">)", {"www.site.com/n.htm", "www.site.com/a/b.htm"}},
        {kSite, R"(<a href="http://other.org/a.htm"><a href="http://other.org/b.htm?from=site.com">)"
                R"(<a href="HTTP://WWW.SITE.COM/c.htm"><a href="PAGE.HTM"><a href="x.aspx"><a href=" y.htm"><a href="z.htm ">)",
         {"http://other.org/b.htm?from=site.com", "HTTP://WWW.SITE.COM/c.htm", "http://www.site.com/x.aspx",
          "http://www.site.com/ y.htm"}},
    };
    for (const auto& [base, html, pages] : cases) {
        state.siteAddress = base.find("://") == std::string::npos ? "www.site.com" : kSite;
        state.pageBaseAddress = base;
        EXPECT_EQ(Parse(html), Found(pages, {})) << html;
    }
}

TEST_F(PageParserTest, LinksModeGrabsLinksWithChosenExtensionsFromAnyHost) {
    state.pageBaseAddress = "http://www.site.com/dir/page.htm";
    EXPECT_EQ(Parse(R"x(<a href="e.htm"><a href="mailto:me@else.org"><a href="ftp://x.org/f"><a href="javascript:go()">)x"),
              Found({"http://www.site.com/dir/e.htm"},
                    {"http://www.site.com/dir/e.htm", "mailto:me@else.org", "ftp://x.org/f", "javascript:go()"}));
    Use(kGrabLinks, {"jpg"});
    EXPECT_EQ(Parse(R"(<a href="pics/a.jpg"><a href="http://cdn.example.org/b.jpg"><img src="c.jpg"><a href="d.JPG">)"),
              Found({}, {"http://www.site.com/dir/pics/a.jpg", "http://cdn.example.org/b.jpg"}));
    state.modified = false;  // every capture kept marks the project modified, one already held too
    EXPECT_TRUE(ParsePageText(state, R"(<a href="http://else.net/x.htm"><a href="a.gif">)") && !state.modified);
    EXPECT_TRUE(ParsePageText(state, R"(<a href="pics/a.jpg">)") && state.modified && state.resultList.Count() == 2);
}

TEST_F(PageParserTest, AllLinksResolvesAgainstTheBaseAndKeepsTheFilters) {
    Use(kGrabAllLinks, {"png"});
    state.pageBaseAddress = "http://www.site.com/docs/index.html";
    EXPECT_EQ(Parse(R"x(<base href="v2/"><a href="api.html#x"><a href='api.html'><a href="api.HTML"><a href="pic.jpg">)x"
                    R"x(<area href="http://other.org/o.html"><iframe src="/frame.htm"></iframe><a href="mailto:me@site.com">)x"
                    R"x(<img src="a.png#p"><img srcset="b.png 2x, //cdn.org/c.png"><a href="d.PNG"><img src="data:,x.png">)x"
                    R"x(<a href="https://www.site.com/docs/">)x"),
              Found({"http://www.site.com/docs/v2/api.html", "http://www.site.com/frame.htm", "https://www.site.com/docs/"},
                    {"http://www.site.com/docs/v2/a.png", "http://www.site.com/docs/v2/b.png", "http://cdn.org/c.png"}));
    EXPECT_TRUE(state.modified);
}

TEST_F(PageParserTest, AllLinksReadsThePageAsABrowserDoesWithoutPatternRuns) {
    const std::string html = R"x(<!-- <a href="old.htm"> --><a title="t" href="new.htm"><a href="cut.htm")x";
    EXPECT_EQ(Parse(html).first, (Texts{"http://www.site.com/old.htm", "http://www.site.com/cut.htm"}));
    Use(kGrabAllLinks);
    EXPECT_EQ(Parse(html), Found({"http://www.site.com/new.htm"}, {"http://www.site.com/new.htm"}));
    state.pageBaseAddress = "http://www.site.com/docs/index.html";  // a <base> that names no file counts for nothing
    EXPECT_EQ(Parse(R"x(<base href="javascript:x"><a href="a.htm"><link href="s.css">)x").second,
              (Texts{"http://www.site.com/docs/a.htm", "http://www.site.com/docs/s.css"}));
    state.pageBaseAddress = "www.site.com/dir/page.htm";  // no full address: the site's root
    EXPECT_EQ(Parse(R"x(<a href="b.htm">)x").second, Texts{"http://www.site.com/b.htm"});
}

// A refused page row fails the parse (rows added before it stay, no result run is made); a refused result
// only ends its own run.
TEST_F(PageParserTest, AFullListEndsTheRunThatFilledIt) {
    for (const int mode : {kGrabLinks, kGrabAllLinks}) {
        state.pageList.Clear();
        state.pageList.SetLimit(1);
        view.ClearCalls();
        Use(mode, {"htm"});
        EXPECT_FALSE(ParsePageText(state, R"(<a href="a.htm"><a href="b.htm">)"));
        EXPECT_EQ(view.Calls(), (Texts{"list changed: pages", "message(info): List box error. Not enough memory!"}));
        EXPECT_EQ(std::pair(Pages(), state.resultList.Count()), std::pair(Texts{"http://www.site.com/a.htm"}, std::size_t{0}));
    }
    Use(kGrabCustom, {"<b > </b>", "<i > </i>"});
    state.resultList.SetLimit(3);
    EXPECT_TRUE(ParsePageText(state, "<b>1</b><b>2</b><b>3</b><b>5</b><i>4</i>"));
    EXPECT_EQ(state.resultList.Items(), (Texts{"1", "2", "3"}));
}

TEST_F(PageParserTest, ParsePageReadsTheTempPageFileAndReportsTotalsGroupedInThousands) {
    const testing::ScopedWorkingDirectory folder;
    EXPECT_FALSE(ParsePage(state));
    EXPECT_EQ(view.Messages(), Texts{"message(info): Error open tmp file"});
    Use(kGrabLinks, {"jpg"});
    for (int i = 0; i < 1233; ++i) state.pageList.Add("http://www.site.com/p" + std::to_string(i));
    testing::WriteBytes(kTempPageFile, std::string("<a href=\"a.htm\">\0<a href='b.jpg'>", 33));
    view.ClearCalls();
    EXPECT_TRUE(ParsePage(state) && ParsePage(state));  // the second finds nothing new, yet shows the totals
    EXPECT_EQ(view.Calls(), (Texts{"list changed: pages", "list changed: results", "label pagesTotal: 1'234",
                                   "show last result", "label resultsTotal: 1", "label pagesTotal: 1'234",
                                   "show last result", "label resultsTotal: 1"}));
}

}  // namespace
}  // namespace veltrano
