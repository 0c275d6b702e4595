#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "text/text_ops.h"

namespace veltrano {
namespace {

std::string Trimmed(std::string text) {
    TrimBlanks(text);
    return text;
}

TEST(TrimBlanks, RemovesTheFourBlanksAtBothEndsOnly) {
    EXPECT_EQ(Trimmed("\t ab\r\n"), "ab");
    EXPECT_EQ(Trimmed(" \t\r\n "), "");
    EXPECT_EQ(Trimmed(""), "");
    EXPECT_EQ(Trimmed("  two words "), "two words");
    EXPECT_EQ(Trimmed("\vx\f"), "\vx\f");  // vertical tab and form feed are no blanks
}

TEST(MatchAtNoCase, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(MatchAtNoCase(0, "href", "HREF=x"));
    EXPECT_TRUE(MatchAtNoCase(2, "Www.", "x/wWw.a"));
    EXPECT_FALSE(MatchAtNoCase(0, "\xC9", "\xE9"));  // accented capital vs small form
    EXPECT_TRUE(MatchAtNoCase(0, "\xE9", "\xE9"));
    EXPECT_FALSE(MatchAtNoCase(0, "[", "{"));          // 0x5B and 0x7B differ by 32 but are no letters
    EXPECT_FALSE(MatchAtNoCase(0, "@", "`"));
}

TEST(MatchAtNoCase, PatternMustFitInsideTheText) {
    const std::string text = "abcdefgWWW";
    EXPECT_FALSE(MatchAtNoCase(7, "www.", text));
    EXPECT_TRUE(MatchAtNoCase(7, "www", text));
    EXPECT_FALSE(MatchAtNoCase(10, "w", text));
    EXPECT_FALSE(MatchAtNoCase(400, "w", text));
    EXPECT_TRUE(MatchAtNoCase(3, "", text));
    EXPECT_TRUE(MatchAtNoCase(99, "", text));
    // The text ends at its given length even when more bytes follow in memory.
    EXPECT_FALSE(MatchAtNoCase(0, "abc", std::string_view("abc", 2)));
}

TEST(UrlFileName, TakesWhatFollowsTheLastPathSlash) {
    EXPECT_EQ(UrlFileName("http://host/dir/page.htm?x=1/2"), "page.htm");
    EXPECT_EQ(UrlFileName("http://host/dir/"), "");
    EXPECT_EQ(UrlFileName("http://host"), "http://host");
    EXPECT_EQ(UrlFileName("index.html"), "index.html");
    EXPECT_EQ(UrlFileName("/x.php"), "x.php");
    EXPECT_EQ(UrlFileName("http://host/a#frag/b"), "a");
    EXPECT_EQ(UrlFileName("http://host/a&b/c"), "a");
}

TEST(UrlFileName, LooksAtTheFirst1023CharactersOnly) {
    const std::string longName = "http://host/" + std::string(1011, 'a') + "/tail.htm";
    EXPECT_EQ(UrlFileName(longName), std::string(1011, 'a'));  // "/tail.htm" lies past the cut
}

TEST(UrlExtension, IsTheLastSegmentsExtensionWithItsCase) {
    EXPECT_EQ(UrlExtension("http://host/pics/photo.JPG"), "JPG");
    EXPECT_EQ(UrlExtension("http://host/v1.2/readme"), "");
    EXPECT_EQ(UrlExtension("http://www.host.com"), "");
    EXPECT_EQ(UrlExtension("/dir/a.php"), "php");
    EXPECT_EQ(UrlExtension("a.php"), "");  // no slash at all: no path
    EXPECT_EQ(UrlExtension("http://host/list.php?page=2.htm"), "php");
    EXPECT_EQ(UrlExtension("http://host/dir/"), "");
    EXPECT_EQ(UrlExtension("http://host/a.tar.gz"), "gz");
    EXPECT_EQ(UrlExtension("http://host/file."), "");
}

TEST(UrlExtension, PassesOverADoubleSlashAndTheCharacterAfterIt) {
    // "//" and the byte after it never count as the path slash.
    EXPECT_EQ(UrlExtension("a//b.c"), "");
    EXPECT_EQ(UrlExtension("a///b.c"), "");
    EXPECT_EQ(UrlExtension("a//x/b.c"), "c");
}

TEST(FormatThousands, GroupsDigitsInThrees) {
    EXPECT_EQ(FormatThousands(0), "0");
    EXPECT_EQ(FormatThousands(7), "7");
    EXPECT_EQ(FormatThousands(999), "999");
    EXPECT_EQ(FormatThousands(1000), "1'000");
    EXPECT_EQ(FormatThousands(100000), "100'000");
    EXPECT_EQ(FormatThousands(1234567), "1'234'567");
    EXPECT_EQ(FormatThousands(-123456), "-123'456");
    EXPECT_EQ(FormatThousands(-100), "-100");
    EXPECT_EQ(FormatThousands(std::numeric_limits<std::int32_t>::min()), "-2'147'483'648");
}

TEST(FormatThousands, TakesSixtyFourBitCounts) {
    EXPECT_EQ(FormatThousands(3'000'000'000LL), "3'000'000'000");
    EXPECT_EQ(FormatThousands(std::numeric_limits<std::int64_t>::max()), "9'223'372'036'854'775'807");
    EXPECT_EQ(FormatThousands(std::numeric_limits<std::int64_t>::min()), "-9'223'372'036'854'775'808");
}

TEST(TextComparisons, ContainsAndEqualFoldAsciiOnly) {
    EXPECT_TRUE(ContainsNoCase("http://EXAMPLE.com/x", "example.COM"));
    EXPECT_FALSE(ContainsNoCase("exam", "example"));
    EXPECT_TRUE(ContainsNoCase("abc", ""));
    EXPECT_TRUE(EqualNoCase("News.htm", "nEWS.HTM"));
    EXPECT_FALSE(EqualNoCase("news.htm", "news.htm "));
}

}  // namespace
}  // namespace veltrano
