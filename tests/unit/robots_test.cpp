#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "parse/robots.h"

namespace veltrano {
namespace {

constexpr std::size_t kLimit = 500 * 1024;

// An address and whether it may be fetched.
using Verdicts = std::vector<std::pair<std::string, bool>>;

struct RobotsCase {
    std::string name;
    std::string text;
    Verdicts verdicts;
};

void ExpectVerdicts(const RobotsRules& rules, const Verdicts& verdicts, const std::string& context) {
    for (const auto& [address, allowed] : verdicts) {
        EXPECT_EQ(rules.Allowed(address), allowed) << context << ": " << address;
    }
}

void ExpectCases(const std::vector<RobotsCase>& cases) {
    for (const RobotsCase& c : cases) {
        ExpectVerdicts(RobotsRules::Parse(c.text, "Veltrano"), c.verdicts, c.name);
    }
}

TEST(RobotsGroups, TheGroupsThatApplyToUs) {
    ExpectCases({
        {"named group before *",
         "User-agent: *\nDisallow: /\n\nUser-agent: Veltrano\nDisallow: /private\n",
         {{"http://site/page", true}, {"http://site/private/a", false}}},
        {"* when nothing names us",
         "User-agent: other\nDisallow: /\n\nUser-agent: *\nDisallow: /tmp\n",
         {{"http://site/page", true}, {"http://site/tmp/a", false}}},
        {"no group for us or *", "User-agent: other\nDisallow: /\n", {{"http://site/page", true}}},
        {"named groups merged",
         "User-agent: veltrano\nDisallow: /a\nUser-agent: other\nDisallow: /b\nUser-agent: Veltrano\nDisallow: /c\n",
         {{"http://site/a", false}, {"http://site/b", true}, {"http://site/c", false}}},
        {"* groups merged",
         "User-agent: *\nDisallow: /a\nUser-agent: other\nDisallow: /b\nUser-agent: *\nDisallow: /c\n",
         {{"http://site/a", false}, {"http://site/b", true}, {"http://site/c", false}}},
        {"several user-agent lines, blank lines among them",
         "User-agent: other\n\nUser-agent: Veltrano\nDisallow: /x\nUser-agent: *\nDisallow: /\n",
         {{"http://site/x", false}, {"http://site/y", true}}},
        {"user-agent after a rule starts a new group",
         "User-agent: Veltrano\nDisallow: /a\nUser-agent: *\nDisallow: /b\n",
         {{"http://site/a", false}, {"http://site/b", true}}},
        {"a named group without rules still outranks *",
         "User-agent: Veltrano\nAllow:\n\nUser-agent: *\nDisallow: /\n", {{"http://site/page", true}}},
        {"a named line and * in one group",
         "User-agent: Veltrano\n\nUser-agent: *\nDisallow: /\n", {{"http://site/page", false}}},
        {"field names and agent without case; paths with case",
         "USER-AGENT: VELTRANO\nDISALLOW: /A\nuser-agent: *\ndisallow: /\n",
         {{"http://site/A", false}, {"http://site/a", true}}},
        {"a version after the product token",
         "User-agent: Veltrano/1.0 (+http://veltrano.example)\nDisallow: /v\nUser-agent: *\nDisallow: /\n",
         {{"http://site/v", false}, {"http://site/w", true}}},
        {"another crawler whose name begins like ours",
         "User-agent: VeltranoBot\nDisallow: /\nUser-agent: Veltrano-Images\nDisallow: /\n",
         {{"http://site/page", true}}},
        {"comments",
         "# User-agent: Veltrano\nUser-agent: * # all\nDisallow: /a # Disallow: /b\n#Disallow: /c\n",
         {{"http://site/a", false}, {"http://site/b", true}, {"http://site/c", true}}},
        {"blanks around names and values",
         "  User-agent \t:  Veltrano  \n\tDisallow :\t/a b  \n",
         {{"http://site/a%20b", false}, {"http://site/a", true}}},
        {"rules before any user-agent line", "Disallow: /\nUser-agent: *\nDisallow: /a\n",
         {{"http://site/b", true}, {"http://site/a", false}}},
        {"unknown lines neither count nor end the user-agent lines",
         "User-agent: other\nCrawl-delay: 3\nUser-agent: Veltrano\nSitemap: http://site/map.xml\nDisallow: /a\n"
         "Noindex: /b\nFoo bar\n",
         {{"http://site/a", false}, {"http://site/b", true}}},
    });
}

TEST(RobotsGroups, LineEndsAndByteOrderMark) {
    const std::string rules = "User-agent: Veltrano|Disallow: /a|Allow: /a/b|User-agent: *|Disallow: /|";
    for (const std::string end : {"\n", "\r\n", "\r"}) {
        for (const std::string start : {"", "\xEF\xBB\xBF"}) {
            std::string text = start;
            for (const char c : rules) text += c == '|' ? end : std::string(1, c);
            ExpectVerdicts(RobotsRules::Parse(text, "Veltrano"),
                           {{"http://site/a", false}, {"http://site/a/b", true}, {"http://site/z", true}},
                           "end " + std::to_string(end.size()) + "/" + std::to_string(end[0]) + ", BOM " +
                               std::to_string(!start.empty()));
        }
    }
}

TEST(RobotsMatching, LongestPatternWinsAndAllowWinsTies) {
    ExpectCases({
        {"allow inside disallow", "User-agent: *\nDisallow: /\nAllow: /p\n",
         {{"http://site/p", true}, {"http://site/page", true}, {"http://site/q", false}}},
        {"disallow inside allow, in either order", "User-agent: *\nDisallow: /folder/private\nAllow: /folder/\n",
         {{"http://site/folder/a", true}, {"http://site/folder/private.html", false}}},
        {"same length: allow wins", "User-agent: *\nDisallow: /page\nAllow: /page\n", {{"http://site/page", true}}},
        {"same length, allow first", "User-agent: *\nAllow: /page\nDisallow: /page\n", {{"http://site/page", true}}},
        {"same length with a wildcard", "User-agent: *\nDisallow: /ab\nAllow: /a*\n", {{"http://site/abc", true}}},
        {"wildcards count as pattern octets", "User-agent: *\nAllow: /*.html\nDisallow: /private\n",
         {{"http://site/private/a.html", false}, {"http://site/x/a.html", true}}},
        {"longer of two wildcard patterns", "User-agent: *\nAllow: /*.html\nDisallow: /*.h\n",
         {{"http://site/a.html", true}, {"http://site/a.htm", false}}},
    });
}

TEST(RobotsMatching, WildcardsAndEndAnchor) {
    ExpectCases({
        {"* anywhere", "User-agent: *\nDisallow: /*.pdf\nDisallow: /a*/b*/c\n",
         {{"http://site/docs/x.pdf", false}, {"http://site/x.pdfs/y", false}, {"http://site/x.htm", true},
          {"http://site/a1/b2/c", false}, {"http://site/a1/c", true}}},
        {"$ anchors the end", "User-agent: *\nDisallow: /*.pdf$\n",
         {{"http://site/x.pdf", false}, {"http://site/x.pdf?y=1", true}, {"http://site/x.pdfx", true}}},
        {"/$ is the root only", "User-agent: *\nDisallow: /$\n",
         {{"http://site/", false}, {"http://site", false}, {"http://site/x", true}, {"http://site?x", true}}},
        {"$ in the middle is an octet", "User-agent: *\nDisallow: /a$b\n",
         {{"http://site/a$b", false}, {"http://site/ab", true}}},
        {"backtracking over several *", "User-agent: *\nDisallow: /*a*ab$\n",
         {{"http://site/xaaab", false}, {"http://site/aab", false}, {"http://site/aba", true}}},
        {"a pattern without its slash", "User-agent: *\nDisallow: private\n",
         {{"http://site/private", false}, {"http://site/x/private", true}}},
    });
}

TEST(RobotsMatching, EmptyDisallowQueriesAndFragments) {
    ExpectCases({
        {"empty disallow", "User-agent: *\nDisallow:\n", {{"http://site/", true}, {"http://site/a", true}}},
        {"empty disallow in our group outranks * ", "User-agent: *\nDisallow: /\nUser-agent: Veltrano\nDisallow:\n",
         {{"http://site/a", true}}},
        {"the query belongs to the path", "User-agent: *\nDisallow: /search?q=\nDisallow: /*?sid=\n",
         {{"http://site/search?q=x", false}, {"http://site/search", true}, {"http://site/search?p=1", true},
          {"http://site/page?sid=2&a=1", false}, {"http://site/page?a=1&sid=2", true}}},
        {"any query", "User-agent: *\nDisallow: /*?\nAllow: /*?lang=en$\n",
         {{"http://site/a?b", false}, {"http://site/a", true}, {"http://site/a?lang=en", true},
          {"http://site/a?lang=en&x", false}}},
        {"the fragment does not count", "User-agent: *\nDisallow: /page$\n",
         {{"http://site/page#top", false}, {"http://site/other#top", true}}},
        {"a bare path and one with user information", "User-agent: *\nDisallow: /a\n",
         {{"/a/b", false}, {"/b?x", true}, {"http://u:p@site:81/a", false}, {"//site/a", false}}},
    });
}

TEST(RobotsMatching, PercentEncoding) {
    ExpectCases({
        {"encoded unreserved characters are the characters", "User-agent: *\nDisallow: /%7Euser\nDisallow: /b~\n",
         {{"http://site/~user/x", false}, {"http://site/%7euser", false}, {"http://site/%62%7E", false},
          {"http://site/b", true}}},
        {"an encoded slash is not a slash", "User-agent: *\nDisallow: /a%2Fb\nDisallow: /c/d\n",
         {{"http://site/a/b", true}, {"http://site/a%2fb", false}, {"http://site/c%2Fd", true},
          {"http://site/c/d", false}}},
        {"UTF-8 against its encoding", "User-agent: *\nDisallow: /\xE3\x83\x84\nDisallow: /%C3%A4\n",
         {{"http://site/%E3%83%84", false}, {"http://site/\xC3\xA4", false}, {"http://site/%E3", true}}},
        {"an encoded * is no wildcard", "User-agent: *\nDisallow: /a%2Ab\n",
         {{"http://site/axb", true}, {"http://site/a%2Ab", false}}},
    });
}

TEST(RobotsMatching, RobotsTxtItselfIsAlwaysAllowed) {
    const std::vector<std::pair<std::string, RobotsRules>> sets = {
        {"disallow all in the file", RobotsRules::Parse("User-agent: *\nDisallow: /\n", "Veltrano")},
        {"disallow robots.txt by name", RobotsRules::Parse("User-agent: *\nDisallow: /robots.txt$\nDisallow: /*\n", "Veltrano")},
        {"DisallowAll", RobotsRules::DisallowAll()},
    };
    for (const auto& [name, rules] : sets) {
        ExpectVerdicts(rules, {{"http://site/robots.txt", true}, {"http://site/", false}, {"http://site/a", false}},
                       name);
    }
    ExpectVerdicts(RobotsRules::AllowAll(), {{"http://site/", true}, {"http://site/a?b", true}}, "AllowAll");
}

TEST(RobotsAnswer, StatusDecidesWhetherTheBodyCounts) {
    const std::string body = "User-agent: *\nDisallow: /private\n";
    const std::vector<std::pair<int, Verdicts>> answers = {
        {200, {{"http://site/private", false}, {"http://site/open", true}}},
        {404, {{"http://site/private", true}, {"http://site/open", true}}},
        {410, {{"http://site/private", true}, {"http://site/open", true}}},
        {500, {{"http://site/private", false}, {"http://site/open", false}, {"http://site/robots.txt", true}}},
        {503, {{"http://site/private", false}, {"http://site/open", false}}},
        {0, {{"http://site/private", false}, {"http://site/open", false}}},
    };
    for (const auto& [status, verdicts] : answers) {
        ExpectVerdicts(RobotsRules::FromAnswer(status, body, "Veltrano"), verdicts, "status " + std::to_string(status));
    }
}

// A file whose `line` begins at octet `position`: comment lines fill it up to there.
std::string FileWithLineAt(std::size_t position, const std::string& line) {
    std::string text = "User-agent: *\nDisallow: /early\n";
    while (position - text.size() > 2000) text += "#" + std::string(998, 'x') + "\n";
    text += "#" + std::string(position - text.size() - 2, 'x') + "\n";
    return text + line;
}

TEST(RobotsAnswer, OnlyTheFirst500KiBCount) {
    const std::string inside = FileWithLineAt(kLimit - 16, "Disallow: /last\n");
    const std::string atEdge = FileWithLineAt(kLimit - 15, "Disallow: /last\nDisallow: /late\n");
    const std::string across = FileWithLineAt(kLimit - 14, "Disallow: /longer-than-the-rest\nDisallow: /late\n");
    ASSERT_EQ(atEdge.find("/last\n") + 5, kLimit);
    const std::vector<RobotsCase> cases = {
        {"last line inside", inside, {{"/early", false}, {"/last", false}}},
        {"line ending at the limit", atEdge, {{"/early", false}, {"/last", false}, {"/late", true}}},
        {"line cut by the limit", across, {{"/early", false}, {"/longer-than-the-rest", true}, {"/l", true}}},
        {"beyond the limit", FileWithLineAt(kLimit + 100, "Disallow: /late\n"), {{"/early", false}, {"/late", true}}},
    };
    ExpectCases(cases);
}

TEST(RobotsAnswer, OnlyTheFirst2000RulesCount) {
    std::string file = "User-agent: *\n";
    for (int i = 0; i < 1999; ++i) file += "Disallow: /*x" + std::to_string(i) + "*y$\n";
    const RobotsRules rules = RobotsRules::Parse(file + "Disallow: /2000th\nDisallow: /2001st\n", "Veltrano");
    EXPECT_FALSE(rules.Allowed("http://site/ax5y"));
    EXPECT_FALSE(rules.Allowed("http://site/2000th"));
    EXPECT_TRUE(rules.Allowed("http://site/2001st"));
}

TEST(RobotsOrigin, SchemeHostAndPort) {
    const std::vector<std::pair<std::string, std::string>> origins = {
        {"http://Example.COM/a/b?c", "http://example.com"},
        {"HTTPS://Example.com:8443/x", "https://example.com:8443"},
        {"http://example.com:80/", "http://example.com"},
        {"https://example.com:443", "https://example.com"},
        {"http://example.com:443/", "http://example.com:443"},
        {"https://example.com:80/", "https://example.com:80"},
        {"http://example.com:/", "http://example.com"},
        {"http://user:p@ss@Host.Example:8080/p", "http://host.example:8080"},
        {"http://example.com", "http://example.com"},
        {"http://example.com?q=1", "http://example.com"},
        {"http://example.com#top", "http://example.com"},
        {"http://[::1]:8080/x", "http://[::1]:8080"},
        {"/relative/path", ""},
        {"//example.com/x", ""},
        {"mailto:someone@example.com", ""},
        {"file:///etc/hosts", ""},
        {"http://user@/x", ""},
        {"", ""},
    };
    for (const auto& [address, origin] : origins) {
        EXPECT_EQ(RobotsOrigin(address), origin) << address;
        EXPECT_EQ(RobotsAddress(address), origin.empty() ? "" : origin + "/robots.txt") << address;
    }
}

}  // namespace
}  // namespace veltrano
