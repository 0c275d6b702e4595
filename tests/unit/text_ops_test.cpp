#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "parse/capture_scan.h"
#include "parse/url_resolve.h"
#include "text/pattern.h"
#include "text/text_ops.h"

namespace veltrano {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(TextOps, TrimmingRemovesTheFourBlanksAtBothEndsAndComparisonsFoldOnlyAsciiLetters) {
    for (auto [text, trimmed] : Pairs{{"\t ab\r\n", "ab"}, {" \t\r\n ", ""}, {" a b ", "a b"}, {"\vx\f", "\vx\f"}})
        EXPECT_EQ((TrimBlanks(text), text), trimmed);
    const std::string text = "abcdefgWWW";
    const std::tuple<std::size_t, std::string_view, std::string_view, bool> matches[] = {
        {2, "Www.", "x/wWw.a", true}, {0, "\xC9", "\xE9", false}, {0, "[", "{", false}, {0, "@", "`", false},
        {7, "www.", text, false}, {7, "www", text, true}, {400, "w", text, false}, {99, "", text, true},
        {0, "abc", std::string_view("abc", 2), false},  // the text ends at its length, whatever follows
    };
    for (const auto& [at, pattern, in, expected] : matches) EXPECT_EQ(MatchAtNoCase(at, pattern, in), expected) << pattern;
    EXPECT_TRUE(ContainsNoCase("http://EXAMPLE.com/x", "example.COM") && ContainsNoCase("abc", "") && EqualNoCase("A", "a"));
    EXPECT_FALSE(ContainsNoCase("exam", "example") || ContainsNoCase("abc", "bd") || EqualNoCase("news.htm", "news.htm "));
}

TEST(TextOps, FileNameAndExtensionOfAnAddressAndThousandsInGroupsOfThree) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"http://host/dir/page.htm?x=1/2", "page.htm", "htm"}, {"http://host/dir/", "", ""},
        {"http://host", "http://host", ""}, {"index.html", "index.html", ""},  // no slash at all: no path
        {"http://host/a#frag/b", "a", ""}, {"http://host/a&b/c", "a", ""}, {"h/v1.2/photo.JPG", "photo.JPG", "JPG"},
        {"h/a.tar.gz", "a.tar.gz", "gz"}, {"h/file.", "file.", ""}, {"a///b.c", "a///b.c", ""}, {"a//x/b.c", "b.c", "c"},
        {"http://host/" + std::string(1011, 'a') + "/tail.htm", std::string(1011, 'a'), ""},  // past 1023 characters
    };
    for (const auto& [address, name, extension] : cases)
        EXPECT_EQ(std::pair(UrlFileName(address), UrlExtension(address)), std::pair(name, extension)) << address;
    const std::pair<std::int64_t, std::string> numbers[] = {{0, "0"}, {999, "999"}, {1000, "1'000"}, {-123456, "-123'456"},
        {std::numeric_limits<std::int64_t>::min(), "-9'223'372'036'854'775'808"}};
    for (const auto& [value, text] : numbers) EXPECT_EQ(FormatThousands(value), text);
}

// Relative references that the resolver takes (the parser uses those with a scheme as they stand).
void ExpectResolved(const std::string& base, const Pairs& examples) {
    for (const auto& [reference, expected] : examples) EXPECT_EQ(ResolveReference(base, reference), expected) << reference;
}

TEST(ResolveReference, ExamplesOfTheStandardAndWhatTakesAScheme) {
    ExpectResolved("http://a/b/c/d;p?q", {
        {"g", "http://a/b/c/g"}, {"/g", "http://a/g"}, {"//g", "http://g"}, {"?y", "http://a/b/c/d;p?y"},
        {"#s", "http://a/b/c/d;p?q#s"}, {"", "http://a/b/c/d;p?q"}, {".", "http://a/b/c/"}, {"../..", "http://a/"},
        {"../../../g", "http://a/g"}, {"/../g", "http://a/g"}, {"..g", "http://a/b/c/..g"}, {"./g/.", "http://a/b/c/g/"},
        {"g;x=1/../y", "http://a/b/c/y"}, {"g?y/../x", "http://a/b/c/g?y/../x"}});
    // An authority without a path counts as the root; bytes stand as they are. A scheme is a letter, then scheme characters, then ":".
    ExpectResolved("http://site", {{"", "http://site/"}, {"dir/n.htm?id=1", "http://site/dir/n.htm?id=1"},
        {"#t", "http://site/#t"}, {"../x.htm", "http://site/x.htm"}, {" x", "http://site/ x"}, {"a%20b", "http://site/a%20b"}});
    EXPECT_EQ(ResolveReference("https://site?q=1", "?r=2"), "https://site/?r=2");
    EXPECT_EQ(ResolveReference("http://site/a/b#frag", ""), "http://site/a/b");
    for (const char* yes : {"mailto:x@y", "a+b-c.d:x", "Z:", "z9:"}) EXPECT_TRUE(HasUriScheme(yes));
    for (const char* no : {"", ":x", "1abc:x", "a b:x", "dir/a:b", "#x:y", "-x:"}) EXPECT_FALSE(HasUriScheme(no));
}

CompiledPattern Compiled(std::string_view text) { CompiledPattern pattern; return CompilePattern(pattern, text), pattern; }

// The compiled tokens up to the last one with text or a flag, each followed by "!" when it needs a blank
// after it, "(" when it opens the capture, and "|".
std::string Tokens(std::string_view patternText) {
    std::string written, pending;
    for (const PatternToken& t : Compiled(patternText).tokens) {
        pending += std::string(t.Text()) + (t.needsBlankAfter ? "!" : "") + (t.opensCapture ? "(" : "") + "|";
        if (!t.Text().empty() || t.needsBlankAfter || t.opensCapture) written += std::exchange(pending, {});
    }
    return written;
}

TEST(CompilePattern, SpacesSeparateTokensAndTwoOfThemRequireABlank) {
    std::string twenty, first18;  // 20 tokens at most, the capture opened before the last one kept
    for (int i = 0; i < 20; ++i) twenty += (i ? " t" : "t") + std::to_string(i);
    for (int i = 0; i < 18; ++i) first18 += "t" + std::to_string(i) + "|";
    const std::pair<std::string, std::string> cases[] = {
        {std::string(kLinkPatternDoubleQuote), "<|A!|HREF|=|\"(|\"|"}, {"<td  x=y> </td>", "<td!|x=y>(|</td>|"},
        {"a   b c", "a!||b(|c|"}, {"a    b c", "a!|!|b(|c|"},  // three spaces: a pair, then an empty token; four: two pairs
        {" \t<title > </title>\r\n", "<title|>(|</title>|"}, {"a\tb c d", "a\tb|c(|d|"},  // inner tabs stay
        {std::string("a b c\0 d e", 10), "a|b(|c|"}, {std::string(60, 'x') + " y z", std::string(51, 'x') + "|y(|z|"},
        {"", "(|"}, {"<b> </b>", "<b>(|</b>|"}, {twenty, first18 + "t18(|t19|"}, {twenty + " 20 21", first18 + "t18|t19(|"},
    };
    for (const auto& [text, tokens] : cases) EXPECT_EQ(Tokens(text), tokens) << text;
    for (const std::string& text : {std::string(kLinkPatternSingleQuote), std::string("<b> > </b>"), twenty + " t20"})
        EXPECT_TRUE(IsPatternValid(Compiled(text))) << text;
    for (const char* text : {"", "   ", "<b>", "<b> </b>"}) EXPECT_FALSE(IsPatternValid(Compiled(text))) << text;
}

// The page fuzz compares the scan with a plain reading of its rules; these are the cases its corpus lacks.
TEST(ScanCaptures, ACaptureTheTextEndsInIsDroppedAndARefusingSinkEndsTheScan) {
    int calls = 0;
    const auto count = [&calls](std::string_view) { return ++calls > 5; };
    EXPECT_TRUE(ScanCaptures(Compiled("a b c"), "ab" + std::string(1023, 't'), count));  // not cut at 1023 bytes
    EXPECT_FALSE(ScanCaptures(Compiled(kLinkPatternDoubleQuote), R"(<a href="1"><a href="2">)", count));
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace veltrano
