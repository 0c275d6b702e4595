// The parser against hostile pages and patterns. Input: a flag byte, a pattern line up to the first line feed
// (without one, none), then the page. Flag bits: 0 Custom mode (the line is its one result pattern), 1-2 the site,
// 3-4 the page's base address, 5 link extensions for the Links mode.
#include <unordered_set>

#include "fuzz_support.h"

static bool Stands(const PatternToken& token, std::size_t p, std::string_view text) {
    const std::size_t after = p + token.Text().size();
    return !token.Text().empty() && MatchAtNoCase(p, token.Text(), text) &&
           (!token.needsBlankAfter || (after < text.size() && IsBlank(static_cast<unsigned char>(text[after]))));
}

// The scanner's rules byte by byte: the tokens before the capture in order with only blanks between them (an empty
// token never stands); the capture up to the first closing token within 1023 bytes, else cut at 1023 bytes, else
// (the text ends first) dropped; the scan goes on a byte past it. A pattern opening the capture at once never does.
static std::vector<std::string_view> PlainCaptures(const CompiledPattern& pattern, std::string_view text) {
    const auto& tokens = pattern.tokens;
    std::size_t opener = 0;
    while (opener < kPatternTokenCount && !tokens[opener].opensCapture) ++opener;
    std::vector<std::string_view> captures;
    for (std::size_t p = 0, matched = 0; opener > 0 && opener + 1 < kPatternTokenCount && p < text.size();) {
        if (matched > 0 && IsBlank(static_cast<unsigned char>(text[p]))) {
            ++p;
        } else if (!Stands(tokens[matched], p, text)) {
            matched = 0;
            ++p;
        } else if (p += tokens[matched].Text().size(); matched++ == opener) {
            std::size_t end = p;
            while (end < text.size() && end - p <= kCaptureMax && !Stands(tokens[opener + 1], end, text)) ++end;
            if (end == text.size() && p + kCaptureMax >= text.size()) break;
            captures.push_back(text.substr(p, std::min(end - p, kCaptureMax)));
            p += captures.back().size() + 1;
            matched = 0;
        }
    }
    return captures;
}

FUZZ_TARGET(input) {
    if (input.empty()) return;
    const bool custom = (input[0] & 1) != 0;
    std::string_view page = input.substr(1), line;
    if (const std::size_t feed = page.find('\n'); feed != std::string_view::npos) {
        line = page.substr(0, std::min(feed, kExtensionTextMax));  // the crawl takes 99 characters of a pattern
        page.remove_prefix(feed + 1);
    }
    const std::string sites[] = {"http://www.site.com", "https://Example.org/base/dir", "site.com",
                                 "http://host:8080/a/b"};
    const std::string& site = sites[(input[0] >> 1) & 3];
    const std::string bases[] = {site, site + "/dir/page.htm?q=1#top", "", "https://other.example/x/y.php"};
    testing::FakeView view;
    const auto state = fuzz::CrawlState(view, site, bases[(input[0] >> 3) & 3], custom ? kGrabCustom : kGrabLinks);
    AppState& s = *state;
    const auto compiled = [line](CompiledPattern pattern) { return CompilePattern(pattern, line), pattern; };
    const CompiledPattern pattern = compiled({});
    FUZZ_CHECK(compiled(s.linkPatterns[0]) == pattern);  // nothing of an earlier compilation survives
    std::vector<std::string_view> captures;
    FUZZ_CHECK(ScanCaptures(pattern, page, [&captures](std::string_view c) { return captures.push_back(c), true; }));
    FUZZ_CHECK(captures == PlainCaptures(pattern, page));
    if (custom && !IsPatternValid(pattern)) return;  // the crawl refuses to start

    s.patterns = {custom ? pattern : s.linkPatterns[0], s.linkPatterns[1]};
    s.patternCount = custom ? 1 : 2;
    if (!custom && (input[0] & 0x20) != 0) s.linkExtensions = {"jpg", "-", "HTM"};
    s.pageList.Add(site);
    FUZZ_CHECK(ParsePageText(s, page));
    const std::vector<PageRow> rows = s.pageList.Rows();
    const std::vector<std::string> results = s.resultList.Items();
    for (const PageRow& row : rows) FUZZ_CHECK(ContainsNoCase(row.webPage, s.siteKey));  // the crawl stays on the site
    // Custom results: each capture once (ASCII case folded), cut at a NUL, trimmed, in the order first seen.
    std::vector<std::string> texts;
    std::unordered_set<std::string> seen;
    for (const std::string_view capture : captures) {
        std::string text(capture.substr(0, capture.find('\0')));
        TrimBlanks(text);
        if (seen.insert(fuzz::Folded(text)).second) texts.push_back(std::move(text));
    }
    FUZZ_CHECK(!custom || results == texts);
    FUZZ_CHECK(ParsePageText(s, page) && s.pageList.Count() == rows.size() && s.resultList.Count() == results.size());
}
