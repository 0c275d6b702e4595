// The parser against hostile pages and hostile patterns.
//
// Input: one flag byte, then a pattern line up to the first line feed, then
// the page. Without a line feed the pattern is empty and everything after
// the flag byte is the page. The flag byte chooses:
//   bit 0     Custom grab mode (the pattern line is the one result pattern)
//   bits 1-2  the site address
//   bits 3-4  the page's base address
//   bit 5     link extensions for the Links mode (else the empty table)
#include <unordered_set>
#include <utility>

#include "fuzz_support.h"

namespace {

using namespace veltrano;
using Span = std::pair<std::size_t, std::size_t>;  // where a capture starts, and its length

bool TokenStandsAt(const PatternToken& token, std::size_t p, std::string_view text) {
    const std::size_t after = p + token.Text().size();
    return !token.Text().empty() && MatchAtNoCase(p, token.Text(), text) &&
           (!token.needsBlankAfter || (after < text.size() && IsBlank(static_cast<unsigned char>(text[after]))));
}

// The scanner's rules, tried byte by byte: the tokens before the capture
// stand in order with only blanks between them; the capture runs up to the
// first closing token within 1023 bytes, else it is cut at 1023 bytes, or
// dropped when the text ends first; the scan goes on one byte past the
// capture. A pattern whose first token opens the capture, or with an empty
// token before the capture, never captures.
std::vector<Span> PlainCaptures(const CompiledPattern& pattern, std::string_view text) {
    const auto& tokens = pattern.tokens;
    std::size_t opener = 0;
    while (opener < kPatternTokenCount && !tokens[opener].opensCapture) ++opener;
    std::vector<Span> captures;
    if (opener == 0 || opener + 1 >= kPatternTokenCount ||
        std::any_of(tokens.begin(), tokens.begin() + opener + 1, [](const auto& t) { return t.Text().empty(); })) {
        return captures;
    }
    for (std::size_t p = 0, matched = 0; p < text.size();) {
        if (matched > 0 && IsBlank(static_cast<unsigned char>(text[p]))) {
            ++p;
        } else if (!TokenStandsAt(tokens[matched], p, text)) {
            matched = 0;
            ++p;
        } else if (p += tokens[matched].Text().size(); matched++ == opener) {
            std::size_t end = p;
            while (end < text.size() && end - p <= kCaptureMax && !TokenStandsAt(tokens[opener + 1], end, text)) ++end;
            if (end == text.size() && p + kCaptureMax >= text.size()) break;
            captures.emplace_back(p, std::min(end - p, kCaptureMax));
            p += captures.back().second + 1;
            matched = 0;
        }
    }
    return captures;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned flags = data[0];
    const bool custom = (flags & 1) != 0;
    std::string_view page = fuzz::AsText(data + 1, size - 1);
    std::string_view line;
    if (const std::size_t feed = page.find('\n'); feed != std::string_view::npos) {
        line = page.substr(0, std::min(feed, kExtensionTextMax));  // the crawl takes 99 characters of a pattern
        page.remove_prefix(feed + 1);
    }
    testing::FakeView view;
    const auto state = std::make_unique<AppState>();
    CompiledPattern pattern;
    CompilePattern(pattern, line);
    // Nothing of an earlier compilation may survive a new one.
    CompiledPattern reused = state->linkPatterns[0];
    CompilePattern(reused, line);
    FUZZ_CHECK(reused == pattern);
    std::vector<Span> captures;
    FUZZ_CHECK(ScanCaptures(pattern, page, [&](std::string_view capture) {
        captures.emplace_back(static_cast<std::size_t>(capture.data() - page.data()), capture.size());
        return true;
    }));
    FUZZ_CHECK(captures == PlainCaptures(pattern, page));
    if (custom && !IsPatternValid(pattern)) return 0;  // the crawl refuses to start

    // The state as the crawl start leaves it. Relative links resolve against
    // the page's base address, or without a full one are appended to the site.
    AppState& s = *state;
    s.view = &view;
    const std::string sites[] = {"http://www.site.com", "https://Example.org/base/dir", "site.com", "http://host:8080/a/b"};
    const std::string& site = s.siteAddress = sites[(flags >> 1) & 3];
    s.siteKey = SiteKey(site);
    const std::string bases[] = {site, site + "/dir/page.htm?q=1#top", "", "https://other.example/x/y.php"};
    s.pageBaseAddress = bases[(flags >> 3) & 3];
    s.grabMode = custom ? kGrabCustom : kGrabLinks;
    s.patterns = {custom ? pattern : s.linkPatterns[0], s.linkPatterns[1]};
    s.patternCount = custom ? 1 : 2;
    if (!custom && (flags & 0x20) != 0) s.linkExtensions = {"jpg", "-", "HTM"};
    s.pageList.Add(site);

    // Rows are pages of the site; Links results have a wanted extension.
    FUZZ_CHECK(ParsePageText(s, page));
    const std::vector<PageRow> rows = s.pageList.Rows();
    const std::vector<std::string> results = s.resultList.Items();
    for (const PageRow& row : rows) {
        FUZZ_CHECK(ContainsNoCase(row.webPage, s.siteKey) && ExtensionAccepted(s.pageExtensions, UrlExtension(row.webPage)));
    }
    for (const std::string& link : custom ? std::vector<std::string>() : results) {
        FUZZ_CHECK(ExtensionAccepted(s.linkExtensions, UrlExtension(link)));
    }
    // Custom results: each capture once (ASCII case folded), cut at a NUL, trimmed, in the order first seen.
    std::vector<std::string> texts;
    std::unordered_set<std::string> seen;
    for (const auto& [at, length] : captures) {
        std::string text(page.substr(at, std::min(length, page.find('\0', at) - at)));
        TrimBlanks(text);
        if (seen.insert(fuzz::Folded(text)).second) texts.push_back(std::move(text));
    }
    FUZZ_CHECK(!custom || results == texts);
    FUZZ_CHECK((rows.size() == 1 && results.empty()) || s.modified);
    // A page parsed again finds nothing new.
    FUZZ_CHECK(ParsePageText(s, page));
    FUZZ_CHECK(s.pageList.Count() == rows.size() && s.resultList.Count() == results.size());
    return 0;
}
