#include <gtest/gtest.h>


#include "parse/robots.h"

namespace veltrano {
namespace {

using Texts = std::vector<std::string>;

// A robots.txt, the addresses it keeps Veltrano from and those it leaves open.
struct Case {
    std::string text;
    Texts blocked, open;
};

void ExpectVerdicts(const RobotsRules& rules, const Case& c) {
    for (const std::string& address : c.blocked) EXPECT_FALSE(rules.Allowed(address)) << c.text << "\n" << address;
    for (const std::string& address : c.open) EXPECT_TRUE(rules.Allowed(address)) << c.text << "\n" << address;
}

// Each case's rules with `start` in front of them.
void ExpectCases(const std::string& start, const std::vector<Case>& cases) {
    for (Case c : cases) ExpectVerdicts(RobotsRules::Parse(c.text.insert(0, start), "Veltrano"), c);
}

TEST(RobotsGroups, TheGroupsThatApplyToUs) {
    ExpectCases("", {
        {"User-agent: *\nDisallow: /\n\nUser-agent: Veltrano\nDisallow: /private\n", {"/private/a"}, {"/page"}},
        {"User-agent: other\nUser-agent: *bot\nDisallow: /\n", {}, {"/page"}},  // no group for us or everyone
        {"User-agent: veltrano\nDisallow: /a\nUser-agent: other\nDisallow: /b\nUser-agent: Veltrano\nDisallow: /c\n",
         {"/a", "/c"}, {"/b"}},  // our groups merged, and so are everyone's
        // User-agent lines, blank lines among them, make one group; lines end in CR LF, LF or CR; a BOM goes.
        {"User-agent: other\r\n\r\nUser-agent: Veltrano\r\nDisallow: /x\r\nUser-agent: *\r\nDisallow: /", {"/x"}, {"/y"}},
        {"User-agent: Veltrano\r\rUser-agent: *\rDisallow: /\r", {"/page"}, {}},
        {"User-agent: Veltrano\nAllow:\n\nUser-agent: *\nDisallow: /\n", {}, {"/page"}},  // ours, without rules
        {"\xEF\xBB\xBFUSER-AGENT: VELTRANO\nDISALLOW: /A\nuser-agent: *\ndisallow: /\n", {"/A"}, {"/a"}},  // paths keep case
        {"User-agent: Veltrano/1.0 (+http://veltrano.example)\nDisallow: /v\nUser-agent: *\nDisallow: /\n", {"/v"}, {"/w"}},
        {"# User-agent: Veltrano\nUser-agent: * # all\nDisallow: /a # Disallow: /b\n#Disallow: /c\n", {"/a"}, {"/b", "/c"}},
        {"  User-agent \t:  Veltrano  \n\tDisallow :\t/a b  \n", {"/a%20b"}, {"/a"}},
        {"Disallow: /\nUser-agent: *\nDisallow: /a\n", {"/a"}, {"/b"}},  // rules before any user-agent line
        // Unknown lines neither count nor end the user-agent lines.
        {"User-agent: other\nSitemap: /m\nUser-agent: Veltrano\nDisallow: /a\nNoindex: /b\nFoo\n", {"/a"}, {"/b"}},
    });
}

TEST(RobotsMatching, TheLongestMatchingPatternWinsAndAllowWinsTies) {
    ExpectCases("User-agent: *\n", {
        {"Disallow: /page\nAllow: /page\n", {}, {"/page"}}, {"Allow: /page\nDisallow: /page\n", {}, {"/page"}},
        {"Disallow: /ab\nAllow: /a*\n", {}, {"/abc"}},  // a wildcard counts as an octet of the pattern
        {"Disallow: /\nAllow: /p\n", {"/q"}, {"/p", "/page"}}, {"Allow: /*.html\nDisallow: /*.h\n", {"/a.htm"}, {"/a.html"}},
        {"Disallow: /a*/b*/c\nDisallow: /*.pdf$\n", {"/a1/b2/c", "/x.pdf"}, {"/a1/c", "/x.pdf?y=1", "/x.pdfx"}},
        {"Disallow: /$\n", {"http://site/", "http://site"}, {"/x", "http://site?x"}}, {"Disallow: /a$b\n", {"/a$b"}, {"/ab"}},
        {"Disallow: /*a*ab$\n", {"/xaaab", "/aab"}, {"/aba"}}, {"Disallow: private\n", {"/private"}, {"/x/private"}},
        {"Disallow:\n", {}, {"/", "/a"}}, {"Disallow: /*\n", {"/", "/a"}, {"http://site/robots.txt"}},
        {"Disallow: /*?sid=\n", {"/p?sid=2&a=1"}, {"/p", "/p?a=1&sid=2"}},  // the query belongs to the path
        {"Disallow: /a\n", {"http://site/a#top", "HTTPS://u:p@site:81/a", "//site/a"}, {"/b?x", "http://site/b/a"}},
        // "%XX" of an unreserved character is the character, any other stays encoded, raw octets are encoded.
        {"Disallow: /%7Euser\nDisallow: /b~0O\n", {"/~user/x", "/%7euser", "/%62%7E%30%4F"}, {"/b"}},
        {"Disallow: /a%2Fb\nDisallow: /c/d\n", {"/a%2fb", "/c/d"}, {"/a/b", "/c%2Fd"}},
        {"Disallow: /\xE3\x83\x84\nDisallow: /%C3%A4\n", {"/%E3%83%84", "/\xC3\xA4"}, {"/%E3"}},
        {"Disallow: /a%2Ab\nDisallow: /%0a%a0\n", {"/a%2Ab", "/%0A%A0"}, {"/axb"}},
    });
}

// A file whose `line` begins at octet `position`, a comment filling it up to there.
std::string FileWithLineAt(std::size_t position, const std::string& line) {
    const std::string start = "User-agent: *\nDisallow: /early\n#";
    return start + std::string(position - start.size() - 1, 'x') + "\n" + line;
}

// The status decides whether the body counts; of a body, only the first 500 KiB, and of the rules for us the first 2000.
TEST(RobotsAnswer, StatusDecidesWhetherTheBodyCountsAndHowMuchOfIt) {
    const std::tuple<int, Texts, Texts> answers[] = {{200, {"/p"}, {"/o"}}, {299, {"/p"}, {"/o"}}, {300, {}, {"/p", "/o"}},
        {499, {}, {"/p", "/o"}}, {500, {"/p", "/o", "/"}, {"/robots.txt"}}, {199, {"/o"}, {}}, {0, {"/o"}, {"/robots.txt"}}};
    for (const auto& [status, blocked, open] : answers)
        ExpectVerdicts(RobotsRules::FromAnswer(status, "User-agent: *\nDisallow: /p", "Veltrano"),
                       {std::to_string(status), blocked, open});
    constexpr std::size_t kLimit = 500 * 1024;
    const std::string atEdge = FileWithLineAt(kLimit - 15, "Disallow: /last\nDisallow: /late\n");
    std::string many = "User-agent: *\n";
    for (int i = 0; i < 1999; ++i) many += "Disallow: /*x" + std::to_string(i) + "*y$\n";
    ExpectCases("", {
        {atEdge, {"/early", "/last"}, {"/late"}},
        {FileWithLineAt(kLimit - 14, "Disallow: /longer-than-the-rest\nDisallow: /late\n"), {"/early"},
         {"/longer-than-the-rest", "/l"}},  // a line that the limit cuts is dropped
        {many + "Disallow: /2000th\nDisallow: /2001st\n", {"/ax5y", "/2000th"}, {"/2001st"}},
    });
}

// "scheme://host[:port]", or nothing for an address without a host.
TEST(RobotsOrigin, SchemeHostAndPort) {
    const std::pair<std::string, std::string> origins[] = {
        {"HTTPS://Example.COM:8443/x", "https://example.com:8443"}, {"http://a.org:80/", "http://a.org"},
        {"https://a.org:443", "https://a.org"}, {"http://a.org:443/", "http://a.org:443"}, {"http://a.org:?q", "http://a.org"},
        {"http://u:p@ss@Host.Example:8080/p", "http://host.example:8080"}, {"http://[::1]:8080/x", "http://[::1]:8080"},
        {"//a.org/x", ""}, {"file:///etc/hosts", ""}, {"http://user@/x", ""}};
    for (const auto& [address, origin] : origins) {
        EXPECT_EQ(RobotsOrigin(address), origin) << address;
        EXPECT_EQ(RobotsAddress(address), origin.empty() ? "" : origin + "/robots.txt") << address;
    }
}

}  // namespace
}  // namespace veltrano
