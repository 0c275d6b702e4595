#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "text/text_ops.h"

namespace veltrano {
namespace {

TEST(TextOps, TrimBlanksRemovesTheFourBlanksAtBothEndsOnly) {
    for (const auto& [text, trimmed] : std::vector<std::pair<std::string, std::string>>{
             {"\t ab\r\n", "ab"}, {" \t\r\n ", ""}, {"", ""}, {"  two words ", "two words"}, {"\vx\f", "\vx\f"}}) {
        std::string copy = text;
        TrimBlanks(copy);
        EXPECT_EQ(copy, trimmed) << text;
    }
}

TEST(TextOps, ComparisonsFoldOnlyAsciiLettersWithinTheText) {
    const std::string text = "abcdefgWWW";
    const std::vector<std::tuple<std::size_t, std::string_view, std::string_view, bool>> matches = {
        {0, "href", "HREF=x", true},  {2, "Www.", "x/wWw.a", true}, {0, "\xC9", "\xE9", false},
        {0, "\xE9", "\xE9", true},    {0, "[", "{", false},         {0, "@", "`", false},  // differ by 32, no letters
        {7, "www.", text, false},     {7, "www", text, true},       {10, "w", text, false},
        {400, "w", text, false},      {3, "", text, true},          {99, "", text, true},
        {0, "abc", std::string_view("abc", 2), false},  // the text ends at its length, whatever follows
    };
    for (const auto& [at, pattern, in, expected] : matches) {
        EXPECT_EQ(MatchAtNoCase(at, pattern, in), expected) << at << " " << pattern << " " << in;
    }
    EXPECT_TRUE(ContainsNoCase("http://EXAMPLE.com/x", "example.COM"));
    EXPECT_FALSE(ContainsNoCase("exam", "example"));
    EXPECT_TRUE(ContainsNoCase("abc", ""));
    EXPECT_TRUE(EqualNoCase("News.htm", "nEWS.HTM"));
    EXPECT_FALSE(EqualNoCase("news.htm", "news.htm "));
}

TEST(TextOps, FileNameAndExtensionOfAnAddress) {
    // Address, what follows the last path slash, the last segment's extension.
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"http://host/dir/page.htm?x=1/2", "page.htm", "htm"},
        {"http://host/dir/", "", ""},
        {"http://host", "http://host", ""},
        {"index.html", "index.html", ""},  // no slash at all: no path
        {"/x.php", "x.php", "php"},
        {"http://host/a#frag/b", "a", ""},
        {"http://host/a&b/c", "a", ""},
        {"http://host/pics/photo.JPG", "photo.JPG", "JPG"},
        {"http://host/v1.2/readme", "readme", ""},
        {"http://host/list.php?page=2.htm", "list.php", "php"},
        {"http://host/a.tar.gz", "a.tar.gz", "gz"},
        {"http://host/file.", "file.", ""},
        // "//" and the byte after it never count as the path slash.
        {"a//b.c", "a//b.c", ""},
        {"a///b.c", "a///b.c", ""},
        {"a//x/b.c", "b.c", "c"},
        // Only the first 1023 characters count: "/tail.htm" lies past the cut.
        {"http://host/" + std::string(1011, 'a') + "/tail.htm", std::string(1011, 'a'), ""},
    };
    for (const auto& [address, fileName, extension] : cases) {
        EXPECT_EQ(UrlFileName(address), fileName) << address;
        EXPECT_EQ(UrlExtension(address), extension) << address;
    }
}

TEST(TextOps, FormatThousandsGroupsDigitsInThrees) {
    const std::vector<std::pair<std::int64_t, std::string>> cases = {
        {0, "0"}, {7, "7"}, {999, "999"}, {1000, "1'000"}, {100000, "100'000"}, {1234567, "1'234'567"},
        {-123456, "-123'456"}, {-100, "-100"}, {std::numeric_limits<std::int32_t>::min(), "-2'147'483'648"},
        {3'000'000'000LL, "3'000'000'000"},
        {std::numeric_limits<std::int64_t>::max(), "9'223'372'036'854'775'807"},
        {std::numeric_limits<std::int64_t>::min(), "-9'223'372'036'854'775'808"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(FormatThousands(value), text);
}

}  // namespace
}  // namespace veltrano
