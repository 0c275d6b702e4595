#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "parse/capture_scan.h"
#include "parse/url_resolve.h"
#include "text/pattern.h"
#include "text/text_ops.h"

namespace veltrano {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;
using Texts = std::vector<std::string>;

TEST(TextOps, TrimBlanksRemovesTheFourBlanksAtBothEndsOnly) {
    for (auto [text, trimmed] : Pairs{{"\t ab\r\n", "ab"}, {" \t\r\n ", ""}, {"", ""}, {" a b ", "a b"}, {"\vx\f", "\vx\f"}}) {
        TrimBlanks(text);
        EXPECT_EQ(text, trimmed);
    }
}

TEST(TextOps, ComparisonsFoldOnlyAsciiLettersWithinTheText) {
    const std::string text = "abcdefgWWW";
    const std::tuple<std::size_t, std::string_view, std::string_view, bool> matches[] = {
        {0, "href", "HREF=x", true},  {2, "Www.", "x/wWw.a", true}, {0, "\xC9", "\xE9", false},
        {0, "\xE9", "\xE9", true},    {0, "[", "{", false},         {0, "@", "`", false},  // differ by 32, no letters
        {7, "www.", text, false},     {7, "www", text, true},       {10, "w", text, false},
        {400, "w", text, false},      {3, "", text, true},          {99, "", text, true},
        {0, "abc", std::string_view("abc", 2), false},  // the text ends at its length, whatever follows
    };
    for (const auto& [at, pattern, in, expected] : matches) EXPECT_EQ(MatchAtNoCase(at, pattern, in), expected) << pattern;
    EXPECT_TRUE(ContainsNoCase("http://EXAMPLE.com/x", "example.COM") && ContainsNoCase("abc", "") &&
                ContainsNoCase("abc", "bC") && EqualNoCase("News.htm", "nEWS.HTM"));
    EXPECT_FALSE(ContainsNoCase("exam", "example") || ContainsNoCase("abc", "bd") || EqualNoCase("news.htm", "news.htm "));
}

TEST(TextOps, FileNameAndExtensionOfAnAddress) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"http://host/dir/page.htm?x=1/2", "page.htm", "htm"}, {"http://host/dir/", "", ""},
        {"http://host", "http://host", ""}, {"index.html", "index.html", ""},  // no slash at all: no path
        {"/x.php", "x.php", "php"}, {"http://host/a#frag/b", "a", ""}, {"http://host/a&b/c", "a", ""},
        {"http://host/pics/photo.JPG", "photo.JPG", "JPG"}, {"http://host/v1.2/readme", "readme", ""},
        {"http://host/list.php?page=2.htm", "list.php", "php"}, {"http://host/a.tar.gz", "a.tar.gz", "gz"},
        {"http://host/file.", "file.", ""},
        {"a//b.c", "a//b.c", ""}, {"a///b.c", "a///b.c", ""}, {"a//x/b.c", "b.c", "c"},  // "//" and its next byte: no path
        {"http://host/" + std::string(1011, 'a') + "/tail.htm", std::string(1011, 'a'), ""},  // past 1023 characters
    };
    for (const auto& [address, name, extension] : cases)
        EXPECT_EQ(std::pair(UrlFileName(address), UrlExtension(address)), std::pair(name, extension)) << address;
}

TEST(TextOps, FormatThousandsGroupsDigitsInThrees) {
    const std::pair<std::int64_t, std::string> cases[] = {
        {0, "0"}, {7, "7"}, {999, "999"}, {1000, "1'000"}, {100000, "100'000"}, {1234567, "1'234'567"}, {-100, "-100"},
        {-123456, "-123'456"}, {std::numeric_limits<std::int64_t>::max(), "9'223'372'036'854'775'807"},
        {std::numeric_limits<std::int64_t>::min(), "-9'223'372'036'854'775'808"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(FormatThousands(value), text);
}

// Relative references that the resolver takes (the parser uses those with a scheme as they stand).
void ExpectResolved(const std::string& base, const Pairs& examples) {
    for (const auto& [reference, expected] : examples) EXPECT_EQ(ResolveReference(base, reference), expected) << reference;
}

TEST(ResolveReference, ExamplesOfTheStandard) {
    ExpectResolved("http://a/b/c/d;p?q", {
        {"g", "http://a/b/c/g"}, {"/g", "http://a/g"}, {"//g", "http://g"}, {"?y", "http://a/b/c/d;p?y"},
        {"#s", "http://a/b/c/d;p?q#s"}, {"g?y#s", "http://a/b/c/g?y#s"}, {"g;x?y#s", "http://a/b/c/g;x?y#s"},
        {"", "http://a/b/c/d;p?q"}, {".", "http://a/b/c/"}, {"..", "http://a/b/"}, {"../g", "http://a/b/g"},
        {"../..", "http://a/"}, {"../../", "http://a/"}, {"../../g", "http://a/g"}, {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"}, {"/../g", "http://a/g"}, {"g.", "http://a/b/c/g."}, {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"}, {"./g/.", "http://a/b/c/g/"}, {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"}, {"g;x=1/../y", "http://a/b/c/y"}, {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"},
    });
    EXPECT_EQ(RemoveDotSegments("mid/content=5/../6"), "mid/6");
    EXPECT_EQ(RemoveDotSegments("/.."), "/");
}

TEST(ResolveReference, AnAuthorityWithoutPathCountsAsRootAndBytesStandAsTheyAre) {
    ExpectResolved("http://site", {{"", "http://site/"}, {"news.htm", "http://site/news.htm"}, {"#top", "http://site/#top"},
                                   {"dir/list.php?id=1", "http://site/dir/list.php?id=1"}, {"../x.htm", "http://site/x.htm"},
                                   {" x.htm", "http://site/ x.htm"}, {"a%20b.htm", "http://site/a%20b.htm"}});
    EXPECT_EQ(ResolveReference("https://site?q=1", "?r=2"), "https://site/?r=2");
    EXPECT_EQ(ResolveReference("http://site/a/b#frag", ""), "http://site/a/b");
}

TEST(HasUriScheme, LetterThenSchemeCharactersThenColon) {
    for (const char* yes : {"mailto:x@y", "javascript:void(0)", "http:g", "a+b-c.d:x", "Z:", "z9:"})
        EXPECT_TRUE(HasUriScheme(yes));
    for (const char* no : {"", ":x", "1abc:x", "a b:x", "dir/a:b", "page.htm", "?a:b", "#x:y", "-x:"})
        EXPECT_FALSE(HasUriScheme(no));
}

CompiledPattern Compiled(std::string_view text) {
    CompiledPattern pattern;
    CompilePattern(pattern, text);
    return pattern;
}

// The compiled tokens up to the last one with text or a flag, each followed by "!" when it needs a blank
// after it, "(" when it opens the capture, and "|".
std::string Tokens(std::string_view patternText) {
    std::string written, pending;
    for (const PatternToken& t : Compiled(patternText).tokens) {
        EXPECT_FALSE(t.matched);
        pending += std::string(t.Text()) + (t.needsBlankAfter ? "!" : "") + (t.opensCapture ? "(" : "") + "|";
        if (!t.Text().empty() || t.needsBlankAfter || t.opensCapture) written += std::exchange(pending, {});
    }
    return written;
}

TEST(CompilePattern, SpacesSeparateTokensAndTwoOfThemRequireABlank) {
    std::string twenty, twentyTokens, more = "t18|t19(|";
    for (int i = 0; i < 20; ++i) twenty += (i ? " t" : "t") + std::to_string(i);
    for (int i = 0; i < 20; ++i) twentyTokens += "t" + std::to_string(i) + (i == 18 ? "(|" : "|");
    const std::pair<std::string, std::string> cases[] = {
        {std::string(kLinkPatternDoubleQuote), "<|A!|HREF|=|\"(|\"|"}, {std::string(kLinkPatternSingleQuote), "<|A!|HREF|=|'(|'|"},
        {"<td  class=price> </td>", "<td!|class=price>(|</td>|"},
        {"a   b c", "a!||b(|c|"},   // three spaces: a pair, then an empty token
        {"a    b c", "a!|!|b(|c|"},  // four: two pairs, the second on an empty token
        {" \t<title > </title>\r\n", "<title|>(|</title>|"}, {"a\tb c d", "a\tb|c(|d|"},  // inner tabs stay
        {std::string("a b c\0 d e", 10), "a|b(|c|"}, {std::string(60, 'x') + " y z", std::string(51, 'x') + "|y(|z|"},
        {"", "(|"}, {"<b> </b>", "<b>(|</b>|"}, {twenty, twentyTokens},
        {twenty + " t20 t21", twentyTokens.substr(0, twentyTokens.size() - more.size()) + more},
    };
    for (const auto& [text, tokens] : cases) EXPECT_EQ(Tokens(text), tokens) << text;
    for (const std::string& text : {std::string(kLinkPatternSingleQuote), std::string("<b> > </b>"), twenty + " t20"})
        EXPECT_TRUE(IsPatternValid(Compiled(text))) << text;
    for (const char* text : {"", "   ", "<b>", "<b> </b>"}) EXPECT_FALSE(IsPatternValid(Compiled(text))) << text;
}

Texts Scan(std::string_view patternText, std::string_view text) {
    Texts captures;
    const auto keep = [&](std::string_view capture) { captures.emplace_back(capture); return true; };
    EXPECT_TRUE(ScanCaptures(Compiled(patternText), text, keep));
    return captures;
}

TEST(ScanCaptures, TokensInOrderWithOnlyBlanksBetweenThenACaptureUpToTheClosingToken) {
    const std::string dq(kLinkPatternDoubleQuote), sq(kLinkPatternSingleQuote);
    const std::tuple<std::string, std::string, Texts> cases[] = {
        {dq, "<a href=\"a/b.htm\">x</a> <A  HREF = \"C.htm\"><a\nhref=\"x.htm\">", {"a/b.htm", "C.htm", "x.htm"}},
        {sq, "<a href='y.htm'><a href=\"z.htm\">", {"y.htm"}}, {dq, std::string("<a href=\"a\0b\">", 14), {std::string("a\0b", 3)}},
        // Anything but blanks between tokens breaks the match; the byte that breaks it is consumed.
        {dq, R"(<a class="c" href="x"><area href="x"><a href=x><<a href="x">)", {}},
        {dq, R"(<b <a href="x.htm"><a href="never closed)", {"x.htm"}},
        {"x y zx", "xyQzxyRzx", {"Q", "R"}},  // after a capture the scan goes on from the closing token's second byte
        {"x  y z", "x yQz xyRz", {"Q"}}, {"x y  z", "zzxy", {}},  // a token needing a blank does not match at the end
        {"<h1 > </h1>", "<h1>  Hello  </H1>", {"  Hello  "}}, {"<b> </b>", "<b>x</b>", {}},  // the latter is invalid
        {"\xC9 x y", "\xE9xQy \xC9xRy", {"R"}},  // only ASCII letters fold
        {"a b c", "ab" + std::string(1023, 'q') + "cab" + std::string(1024, 'r') + "cab" + std::string(1023, 't'),
         {std::string(1023, 'q'), std::string(1023, 'r')}},  // at most 1023 bytes; one the text ends in is dropped
    };
    for (const auto& [pattern, text, expected] : cases) EXPECT_EQ(Scan(pattern, text), expected) << text;
    int calls = 0;
    EXPECT_FALSE(ScanCaptures(Compiled(dq), R"(<a href="1"><a href="2">)", [&](std::string_view) { return ++calls > 5; }));
    EXPECT_EQ(calls, 1);  // the scan ends when the sink refuses
}

}  // namespace
}  // namespace veltrano
