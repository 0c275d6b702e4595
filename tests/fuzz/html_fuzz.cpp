// The "All links" reader against hostile pages. Input: a flag byte, then the page. Flag bits: 0-1 the page's
// address, 2 an extension list for the results, 3 references decoded as in an attribute.
#include "fuzz_support.h"

FUZZ_TARGET(input) {
    if (input.empty()) return;
    const std::string_view page = input.substr(1);
    // Addresses are trimmed and on one line; a complete tag before the page changes nothing.
    const HtmlLinks links = ReadHtmlLinks(page), prefixed = ReadHtmlLinks("<p class=x>" + std::string(page));
    const auto edge = [](char c) { return static_cast<unsigned char>(c) > ' '; };
    const auto clean = [edge](std::string_view a) {
        return !a.empty() && edge(a[0]) && edge(a.back()) && a.find_first_of("\t\n\r") == a.npos;
    };
    FUZZ_CHECK(std::ranges::all_of(links.pages, clean) && std::ranges::all_of(links.resources, clean));
    FUZZ_CHECK(prefixed.pages == links.pages && prefixed.resources == links.resources && prefixed.base == links.base);
    for (std::size_t at = page.find('&'); at != std::string_view::npos; at = page.find('&', at + 1)) {
        std::string out;
        const std::size_t next = DecodeCharacterReference(page, at, (input[0] & 8) != 0, out);
        FUZZ_CHECK(next > at && next <= page.size() && !out.empty());
    }

    const char* const bases[] = {"http://www.site.com/", "https://site.com/docs/a/b.html?q#f", "site.com/no/scheme",
                                 "http://[::1]:8080"};
    testing::FakeView view;  // the whole "All links" parse
    const auto state = fuzz::CrawlState(view, "http://www.site.com", bases[input[0] & 3], kGrabAllLinks);
    if ((input[0] & 4) != 0) state->linkExtensions = {"png", "-"};
    FUZZ_CHECK(ParsePageText(*state, page));
}
