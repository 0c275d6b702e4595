// The parser against hostile pages and hostile patterns.
//
// Input: one flag byte, then a pattern line up to the first line feed, then
// the page. Without a line feed the pattern is empty and everything after
// the flag byte is the page. The flag byte chooses:
//   bit 0     Custom grab mode (the pattern line is the one result pattern)
//   bits 1-2  the site address
//   bits 3-4  the page's base address
//   bit 5     link extensions for the Links mode (else the empty table)
#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "fake_view.h"
#include "fuzz_support.h"
#include "crawl/crawl_start.h"
#include "parse/capture_scan.h"
#include "parse/page_parser.h"
#include "state/app_state.h"
#include "text/pattern.h"
#include "text/text_ops.h"

namespace veltrano::fuzz {
namespace {

constexpr std::string_view kSites[] = {
    "http://www.site.com/",
    "https://Example.org/base/dir",
    "site.com",
    "http://host:8080/a/b",
};

// The address of the page being parsed, which relative links resolve against.
std::string BaseAddress(unsigned choice, const std::string& site) {
    switch (choice) {
        case 0: return site;
        case 1: return site + "/dir/page.htm?q=1#top";
        case 2: return {};  // no full address: links are appended to the site
        default: return "https://other.example/x/y.php";  // redirected off the site
    }
}

std::string Folded(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = static_cast<char>(FoldUpper(static_cast<unsigned char>(c)));
    return folded;
}

bool IsTrimmed(std::string_view text) {
    return text.empty() || (!IsBlank(static_cast<unsigned char>(text.front())) &&
                            !IsBlank(static_cast<unsigned char>(text.back())));
}

// The same rule as the scanner's: the token's text stands at `p`, followed
// by a blank when it needs one.
bool TokenStandsAt(const PatternToken& token, std::size_t p, std::string_view text) {
    const std::string_view t = token.Text();
    if (t.empty() || !MatchAtNoCase(p, t, text)) return false;
    return !token.needsBlankAfter || (p + t.size() < text.size() && IsBlank(static_cast<unsigned char>(text[p + t.size()])));
}

void CheckCompiled(const CompiledPattern& pattern, std::string_view line) {
    // Nothing of an earlier compilation may survive a new one.
    CompiledPattern reused;
    CompilePattern(reused, kLinkPatternDoubleQuote);
    CompilePattern(reused, line);
    FUZZ_CHECK(reused == pattern);

    std::size_t openers = 0;
    for (const PatternToken& token : pattern.tokens) {
        FUZZ_CHECK(token.Text().size() <= kTokenTextMax);
        FUZZ_CHECK(token.Text().find(' ') == std::string_view::npos);
        FUZZ_CHECK(!token.matched);
        if (token.opensCapture) ++openers;
    }
    FUZZ_CHECK(openers == 1);
    FUZZ_CHECK(IsPatternValid(pattern) == !pattern.tokens[0].opensCapture);
}

// Scans with `pattern` directly: every capture lies inside the text, after
// the one before it, is at most 1023 bytes, holds no start of the closing
// token, and is followed by that token unless it was cut at 1023 bytes.
// Returns the captures as the parser's capture handling sees them in
// Custom mode: cut at a NUL, trimmed.
std::vector<std::string> CheckCaptures(const CompiledPattern& pattern, std::string_view text) {
    std::size_t opener = 0;
    while (opener < kPatternTokenCount && !pattern.tokens[opener].opensCapture) ++opener;
    const PatternToken* closing = opener + 1 < kPatternTokenCount ? &pattern.tokens[opener + 1] : nullptr;

    std::vector<std::string> captures;
    const char* previousStart = nullptr;
    ScanCaptures(pattern, text, [&](std::string_view capture) {
        FUZZ_CHECK(closing != nullptr);
        FUZZ_CHECK(capture.data() >= text.data() && capture.data() + capture.size() <= text.data() + text.size());
        FUZZ_CHECK(previousStart == nullptr || capture.data() > previousStart);
        FUZZ_CHECK(capture.size() <= kCaptureMax);
        previousStart = capture.data();
        const auto start = static_cast<std::size_t>(capture.data() - text.data());
        for (std::size_t q = start; q < start + capture.size(); ++q) FUZZ_CHECK(!TokenStandsAt(*closing, q, text));
        FUZZ_CHECK(capture.size() == kCaptureMax || TokenStandsAt(*closing, start + capture.size(), text));

        std::string handled(capture.substr(0, capture.find('\0')));
        TrimBlanks(handled);
        captures.push_back(std::move(handled));
        return true;
    });
    return captures;
}

// The results a Custom crawl must hold: each handled capture once, ASCII
// case folded, in the order first seen.
std::vector<std::string> WithoutDuplicates(const std::vector<std::string>& texts) {
    std::vector<std::string> kept;
    std::unordered_set<std::string> seen;
    for (const std::string& text : texts) {
        if (seen.insert(Folded(text)).second) kept.push_back(text);
    }
    return kept;
}

}  // namespace
}  // namespace veltrano::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrano;
    using namespace veltrano::fuzz;
    if (size == 0) return 0;
    const unsigned flags = data[0];
    std::string_view rest = AsText(data + 1, size - 1);
    std::string_view line;
    if (const std::size_t feed = rest.find('\n'); feed != std::string_view::npos) {
        line = rest.substr(0, feed);
        rest.remove_prefix(feed + 1);
    }
    const std::string_view page = rest;
    const bool custom = (flags & 1) != 0;

    // The crawl takes at most 99 characters of a pattern entry.
    const std::string_view patternText = line.substr(0, kExtensionTextMax);
    CompiledPattern pattern;
    CompilePattern(pattern, patternText);
    CheckCompiled(pattern, patternText);
    const std::vector<std::string> captures = CheckCaptures(pattern, page);
    if (custom && !IsPatternValid(pattern)) return 0;  // the crawl refuses to start

    testing::FakeView view;
    const auto state = std::make_unique<AppState>();
    state->view = &view;
    // As the crawl start leaves them.
    state->siteAddress = kSites[(flags >> 1) & 3];
    if (state->siteAddress.back() == '/') state->siteAddress.pop_back();
    state->siteKey = SiteKey(state->siteAddress);
    state->pageBaseAddress = BaseAddress((flags >> 3) & 3, state->siteAddress);
    state->grabMode = custom ? kGrabCustom : kGrabLinks;
    if (custom) {
        state->patterns[0] = pattern;
        state->patternCount = 1;
    } else {
        state->patterns[0] = state->linkPatterns[0];
        state->patterns[1] = state->linkPatterns[1];
        state->patternCount = 2;
        if (flags & 0x20) {
            state->linkExtensions[0] = "jpg";
            state->linkExtensions[1] = "-";
            state->linkExtensions[2] = "HTM";
        }
    }
    state->pageList.Add(state->siteAddress);

    FUZZ_CHECK(ParsePageText(*state, page));
    FUZZ_CHECK(view.Messages().empty());

    // Links never exceed the longer of the two addresses, a "/" and a capture.
    const std::size_t addressMax = std::max(state->siteAddress.size(), state->pageBaseAddress.size()) + 1 + kCaptureMax;
    const std::vector<PageRow> rows = state->pageList.Rows();
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const std::string& address = rows[i].webPage;
        FUZZ_CHECK(!address.empty() && IsTrimmed(address));
        FUZZ_CHECK(address.size() <= addressMax);
        FUZZ_CHECK(ContainsNoCase(address, state->siteKey));
        FUZZ_CHECK(ExtensionAccepted(state->pageExtensions, UrlExtension(address)));
        FUZZ_CHECK(rows[i].result.empty());
    }
    const std::vector<std::string> results = state->resultList.Items();
    if (custom) {
        FUZZ_CHECK(results == WithoutDuplicates(captures));
    } else {
        for (const std::string& link : results) {
            FUZZ_CHECK(!link.empty() && IsTrimmed(link));
            FUZZ_CHECK(link.size() <= addressMax);
            FUZZ_CHECK(ExtensionAccepted(state->linkExtensions, UrlExtension(link)));
        }
    }
    FUZZ_CHECK((rows.size() == 1 && results.empty()) || state->modified);

    // A page parsed again finds nothing new.
    FUZZ_CHECK(ParsePageText(*state, page));
    FUZZ_CHECK(state->pageList.Count() == rows.size());
    FUZZ_CHECK(state->resultList.Count() == results.size());
    return 0;
}
