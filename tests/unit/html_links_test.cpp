#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "parse/html_links.h"

namespace veltrano {
namespace {

using Texts = std::vector<std::string>;

struct Case {
    const char* html;
    Texts expected;
};

Texts PagesOf(const char* html) { return ReadHtmlLinks(html).pages; }
Texts ResourcesOf(const char* html) { return ReadHtmlLinks(html).resources; }

void ExpectPages(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(PagesOf(c.html), c.expected) << c.html;
}

void ExpectResources(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(ResourcesOf(c.html), c.expected) << c.html;
}

TEST(HtmlLinksTest, AttributesAreFoundWhateverTheirOrderQuotingAndCase) {
    ExpectPages({
        {R"h(<a class="reference internal" href="a.html">)h", {"a.html"}},
        {"<A HREF=b.html TITLE=x>", {"b.html"}},
        {"<a\n  href\n =\n 'c.html'\n>", {"c.html"}},
        {R"h(<a title="x > y" href="d.html">)h", {"d.html"}},
        {R"h(<a title='say "hi"' href='e.html'>)h", {"e.html"}},
        {R"h(<a href="f.html" href="g.html">)h", {"f.html"}},  // the first of a name counts
        {R"h(<a data-href="no.html" hreflang=en>)h", {}},
        {"<a href>", {}},
        {"<a/href=h.html>", {"h.html"}},
        {R"h(<a id=x"y href=i.html>)h", {"i.html"}},
        {R"h(<a href="j.html"title="t">)h", {"j.html"}},
        {"<a href=k.html/>", {"k.html/"}},
        {"<a href=  '  l.html\n'  >", {"l.html"}},  // blanks around an address go
        {"<a href='m\n.ht\tml'>", {"m.html"}},      // line breaks and tabs inside it too
    });
}

TEST(HtmlLinksTest, CharacterReferencesAreDecodedAsInAttributes) {
    ExpectPages({
        {R"h(<a href="p?a=1&amp;b=2">)h", {"p?a=1&b=2"}},
        {R"h(<a href="p?a=1&ampb=2">)h", {"p?a=1&ampb=2"}},  // a legacy name before a letter stays
        {R"h(<a href="p?a=1&amp=2">)h", {"p?a=1&amp=2"}},    // and before "="
        {R"h(<a href="p?x&amp">)h", {"p?x&"}},
        {R"h(<a href="&#x41;&#66;&#x43">)h", {"ABC"}},
        {R"h(<a href="&#128;&#0;&#xD800;&#x110000;">)h", {"\xE2\x82\xAC\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}},
        {R"h(<a href="&#x10FFFF;&#xDFFF;&#xE000;">)h", {"\xF4\x8F\xBF\xBF\xEF\xBF\xBD\xEE\x80\x80"}},
        {R"h(<a href="&eacute;&Eacute;&notin;&notit;">)h", {"\xC3\xA9\xC3\x89\xE2\x88\x89&notit;"}},
        {R"h(<a href="&unknown;&#;&#x;&">)h", {"&unknown;&#;&#x;&"}},
        {R"h(<a href="&CounterClockwiseContourIntegral;">)h", {"\xE2\x88\xB3"}},
    });
}

TEST(HtmlLinksTest, TheFirstBaseWithAnAddressSetsTheBase) {
    EXPECT_EQ(ReadHtmlLinks(R"h(<base target=_top><base href=" /docs/ "><base href="/other/">)h").base, "/docs/");
    EXPECT_EQ(ReadHtmlLinks(R"h(<a href=x><base href="later/">)h").base, "later/");
    EXPECT_EQ(ReadHtmlLinks("<base target=_blank>").base, "");
    EXPECT_EQ(ResourcesOf(R"h(<base href="/docs/">)h"), Texts{});  // the base is no resource
}

TEST(HtmlLinksTest, SrcsetCandidatesAreSplitFromTheirDescriptors) {
    ExpectResources({
        {R"h(<img srcset="a.png 1x, b.png 2x">)h", {"a.png", "b.png"}},
        {R"h(<img srcset="a.png 100w,b.png 200w">)h", {"a.png", "b.png"}},
        {R"h(<img srcset=" a.png, b.png,, c.png">)h", {"a.png", "b.png", "c.png"}},
        {R"h(<img srcset="a.png,b.png">)h", {"a.png,b.png"}},  // no blank: one address with a comma
        {R"h(<img srcset="a.png (x, y) 2x, b.png">)h", {"a.png", "b.png"}},
        {R"h(<picture><source srcset="s.webp"><img src="i.png" srcset="i2.png 2x"></picture>)h",
         {"s.webp", "i.png", "i2.png"}},
        {R"h(<link rel=preload as=image imagesrcset="p.png 1x">)h", {"p.png"}},
    });
}

TEST(HtmlLinksTest, NothingInCommentsScriptsOrOtherTextIsATag) {
    ExpectPages({
        {R"h(<!-- <a href="c1"> --><a href="ok1">)h", {"ok1"}},
        {R"h(<!-- 1 > 0 <a href="c0"> -->)h", {}},
        {R"h(<!-- a -- b --!><a href="ok2">)h", {"ok2"}},
        {R"h(<!--><a href="ok3">)h", {"ok3"}},  // an empty comment
        {R"h(<!---><a href="ok4">)h", {"ok4"}},
        {R"h(<!-- never closed <a href="c2">)h", {}},
        {R"h(<!DOCTYPE html><a href="ok5">)h", {"ok5"}},
        {R"h(<! bogus <a href="c3"> ><a href="ok6">)h", {"ok6"}},
        {R"h(<?php echo '<a href="c4">' ?><a href="ok7">)h", {"ok7"}},
        {R"h(<script>document.write('<a href="s1">')</script ><a href="ok8">)h", {"ok8"}},
        {R"h(<script>if (a</b) x = '</scripts>'; '<a href="s2">'</SCRIPT><a href="ok9">)h", {"ok9"}},
        {R"h(<script><!--<script></script><a href="s3"></script>--></script><a href="ok10">)h", {"ok10"}},
        {R"h(<script><!-- x --></script><a href="ok11">)h", {"ok11"}},
        {R"h(<style>a[href="<a href=s4>"]{}</style><a href="ok12">)h", {"ok12"}},
        {R"h(<textarea><a href="t1"></textarea><title><a href="t2"></title><a href="ok13">)h", {"ok13"}},
        {R"h(<xmp><a href="x1"></xmp><noframes><a href="x2"></noframes><a href="ok14">)h", {"ok14"}},
        {R"h(<noscript><a href="ok15"></noscript>)h", {"ok15"}},  // read as with scripting off
        {R"h(<plaintext><a href="p1">)h", {}},
        {R"h(</a href="e1"><a href="ok16">)h", {"ok16"}},  // end tags carry no links
    });
}

TEST(HtmlLinksTest, AreasAndFramesLeadToPagesButFrameContentIsText) {
    EXPECT_EQ(PagesOf(R"h(<map><area shape=rect href="m.html"></map><frameset><frame src="f.html"></frameset>)h"),
              (Texts{"m.html", "f.html"}));
    EXPECT_EQ(PagesOf(R"h(<iframe src="i.html"><a href="fallback.html"></iframe><a href="after.html">)h"),
              (Texts{"i.html", "after.html"}));
    EXPECT_EQ(PagesOf(R"h(<img src="x.png"><link href="s.css"><embed src="e.swf">)h"), Texts{});
}

TEST(HtmlLinksTest, MalformedMarkupIsReadAsABrowserReadsIt) {
    ExpectPages({
        {R"h(<a href="cut.html)h", {}},  // a tag cut off by the end is dropped
        {"<a href=cut.html", {}},
        {"< a href=no.html><a href=yes.html>", {"yes.html"}},
        {"<a href=x.html<b>", {"x.html<b"}},
        {"<<a href=y.html>", {"y.html"}},
        {"<p <a href=w.html>", {}},  // "<a" is an attribute name of <p>
        {"</><a href=v.html>", {"v.html"}},
        {"<a =x href=u.html>", {"u.html"}},
    });
    const std::string nul("<a href=\"n\0.html\">", 18);
    EXPECT_EQ(ReadHtmlLinks(nul).pages, Texts{"n\xEF\xBF\xBD.html"});
}

TEST(HtmlLinksTest, HostileMarkupCostsNoMoreThanItsLength) {
    // A long run of dashes in a comment, and a tag of many attributes, once
    // took time that grew with the square of their length.
    std::string page = "<!--" + std::string(2'000'000, '-') + "x--><a href=\"after.html\">";
    page += "<a";
    for (int i = 0; i < 200'000; ++i) page += " a" + std::to_string(i) + " a" + std::to_string(i);
    page += " href=last.html>";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadHtmlLinks(page).pages, (Texts{"after.html", "last.html"}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(HtmlLinksTest, EveryAddressAPageUsesIsAResourceInDocumentOrder) {
    EXPECT_EQ(ResourcesOf(R"h(<link rel=stylesheet href="s.css"><script src="j.js"></script>)h"
                          R"h(<body background="bg.gif"><a href="p.html"><img src="i.png" lowsrc="l.gif">)h"
                          R"h(<video poster="v.jpg"><source src="v.mp4"><track src="t.vtt"></video>)h"
                          R"h(<object data="o.svg"></object><embed src="e.swf"><input type=image src="b.png">)h"
                          R"h(<svg><image xlink:href="x.png"/></svg><div data="not-object">)h"),
              (Texts{"s.css", "j.js", "bg.gif", "p.html", "i.png", "l.gif", "v.jpg", "v.mp4", "t.vtt", "o.svg",
                     "e.swf", "b.png", "x.png"}));
}

TEST(HtmlLinksTest, StyleAddressesComeFromUrlAndImport) {
    ExpectResources({
        {R"h(<div style="background: URL( 'a.png' ) no-repeat">)h", {"a.png"}},
        {R"h(<p style="background-image:url(b.png);border-image:url(&quot;c.png&quot;)">)h", {"b.png", "c.png"}},
        {R"h(<style>@import "d.css"; @import url(e.css); .x { background: url(f\).png) }</style>)h",
         {"d.css", "e.css", "f).png"}},
        {R"h(<style>/* url(no.png) */ .y { content: "url(no2.png)"; cursor: url("g.cur") }</style>)h", {"g.cur"}},
        {R"h(<style>.z { --myurl(no3.png) --zurl(no4.png) }</style>)h", {}},
        {R"h(<svg><style><a href="in-svg.html"></style></svg>)h", {"in-svg.html"}},  // foreign: markup, not text
    });
}

TEST(HtmlLinksTest, ARefreshLeadsToItsTarget) {
    ExpectPages({
        {R"h(<meta http-equiv="refresh" content="0; url=next.html">)h", {"next.html"}},
        {R"h(<meta HTTP-EQUIV=Refresh content="5;URL='quoted.html'">)h", {"quoted.html"}},
        {R"h(<meta http-equiv="refresh" content="3, other.html">)h", {"other.html"}},
        {R"h(<meta http-equiv="refresh" content="1.5 url = spaced.html ">)h", {"spaced.html"}},
        {R"h(<meta http-equiv="refresh" content="10">)h", {}},
        {R"h(<meta http-equiv="refresh" content="soon; url=no.html">)h", {}},
        {R"h(<meta name="refresh" content="0; url=no.html">)h", {}},
    });
}

TEST(HtmlLinksTest, SvgAndMathMarkupEndsWhereBrowsersEndIt) {
    ExpectPages({
        {R"h(<svg><![CDATA[<a href="cdata.html">]]><a href="svg.html"/></svg>)h", {"svg.html"}},
        {R"h(<![CDATA[ <a href="bogus.html"> ]]><a href="ok.html">)h", {"ok.html"}},
        {R"h(<svg><p><style><a href="text.html"></style><a href="out.html">)h", {"out.html"}},
        {R"h(<svg><title><a href="s.html"></title></svg><title><a href="t.html"></title>)h", {"s.html"}},
        {R"h(<svg><a xlink:href="x.html"><text>x</text></a></svg>)h", {"x.html"}},
        // Within these HTML is read again: a script is text.
        {R"h(<svg><foreignObject><script>'<a href="no1">'</script></foreignObject></svg>)h", {}},
        {R"h(<math><mi><script>'<a href="no2">'</script></mi><annotation-xml encoding="TEXT/HTML">)h"
         R"h(<script>'<a href="no3">'</script></annotation-xml></math>)h", {}},
        {R"h(<math><annotation-xml><script>'<a href="in-math.html">'</script></annotation-xml></math>)h",
         {"in-math.html"}},
        {R"h(<svg><font color=red><script>'<a href="no4">'</script>)h", {}},
        {R"h(<math><mrow encoding="text/html"><style><a href="mrow.html"></style></mrow></math>)h", {"mrow.html"}},
    });
    ExpectResources({
        {R"h(<svg><style>.c{fill:url(s.png)}</style><style><![CDATA[ .d{fill:url(d.png)} ]]></style></svg>)h",
         {"s.png", "d.png"}},
        {R"h(<svg><foreignObject><style>.e{background:url(fo.png)}</style></foreignObject></svg>)h", {"fo.png"}},
    });
}

}  // namespace
}  // namespace veltrano
