#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "parse/url_resolve.h"

namespace veltrano {
namespace {

using Example = std::pair<std::string, std::string>;

// Relative references that the resolver takes (those with a scheme are used
// as they stand by the parser and never reach it).
void ExpectResolved(const std::string& base, const std::vector<Example>& examples) {
    for (const auto& [reference, expected] : examples) {
        EXPECT_EQ(ResolveReference(base, reference), expected) << "reference: " << reference;
    }
}

TEST(ResolveReference, NormalExamplesOfTheStandard) {
    ExpectResolved("http://a/b/c/d;p?q", {
        {"g", "http://a/b/c/g"},        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},      {"/g", "http://a/g"},
        {"//g", "http://g"},            {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},    {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},    {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},      {"g;x", "http://a/b/c/g;x"},
        {"g;x?y#s", "http://a/b/c/g;x?y#s"}, {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},         {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},          {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},       {"../..", "http://a/"},
        {"../../", "http://a/"},        {"../../g", "http://a/g"},
    });
}

TEST(ResolveReference, AbnormalExamplesOfTheStandard) {
    ExpectResolved("http://a/b/c/d;p?q", {
        {"../../../g", "http://a/g"},   {"../../../../g", "http://a/g"},
        {"/./g", "http://a/g"},         {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},      {".g", "http://a/b/c/.g"},
        {"g..", "http://a/b/c/g.."},    {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},     {"./g/.", "http://a/b/c/g/"},
        {"g/./h", "http://a/b/c/g/h"},  {"g/../h", "http://a/b/c/h"},
        {"g;x=1/./y", "http://a/b/c/g;x=1/y"}, {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},   {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/./x", "http://a/b/c/g#s/./x"},   {"g#s/../x", "http://a/b/c/g#s/../x"},
    });
}

TEST(ResolveReference, LinksOnPagesInFolders) {
    ExpectResolved("http://site/manual/index.html", {
        {"intro.html", "http://site/manual/intro.html"},
        {"../news.htm", "http://site/news.htm"},
        {"/top.htm", "http://site/top.htm"},
        {"#top", "http://site/manual/index.html#top"},
        {"?page=2", "http://site/manual/index.html?page=2"},
        {" x.htm", "http://site/manual/ x.htm"},  // bytes as they stand, nothing trimmed
        {"a%20b.htm", "http://site/manual/a%20b.htm"},
    });
}

TEST(ResolveReference, AnAuthorityWithoutPathCountsAsRoot) {
    ExpectResolved("http://site", {
        {"", "http://site/"},
        {"news.htm", "http://site/news.htm"},
        {"#top", "http://site/#top"},
        {"dir/list.php?id=1", "http://site/dir/list.php?id=1"},
        {"../x.htm", "http://site/x.htm"},
    });
    EXPECT_EQ(ResolveReference("https://site?q=1", "?r=2"), "https://site/?r=2");
    EXPECT_EQ(ResolveReference("http://site/a/b#frag", ""), "http://site/a/b");
}

TEST(HasUriScheme, LetterThenSchemeCharactersThenColon) {
    for (const char* yes : {"mailto:x@y", "javascript:void(0)", "http:g", "a+b-c.d:x", "Z:"}) {
        EXPECT_TRUE(HasUriScheme(yes)) << yes;
    }
    for (const char* no : {"", ":x", "1abc:x", "a b:x", "dir/a:b", "page.htm", "?a:b", "#x:y", "-x:"}) {
        EXPECT_FALSE(HasUriScheme(no)) << no;
    }
}

TEST(RemoveDotSegments, ExamplesOfTheStandard) {
    EXPECT_EQ(RemoveDotSegments("/a/b/c/./../../g"), "/a/g");
    EXPECT_EQ(RemoveDotSegments("mid/content=5/../6"), "mid/6");
    EXPECT_EQ(RemoveDotSegments("/.."), "/");
    EXPECT_EQ(RemoveDotSegments(""), "");
}

}  // namespace
}  // namespace veltrano
