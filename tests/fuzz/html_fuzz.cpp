// The "All links" reader against hostile pages. Input: a flag byte, then the page. Flag bits: 0-1 the page's
// address, 2 an extension list for the results, 3 references decoded as in an attribute.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view page = fuzz::AsText(data + 1, size - 1);
    // Addresses come without blanks or controls around them or line breaks inside; a complete tag before the page
    // changes nothing of it.
    const HtmlLinks links = ReadHtmlLinks(page), prefixed = ReadHtmlLinks("<p class=x>" + std::string(page));
    const auto edge = [](char c) { return static_cast<unsigned char>(c) > ' '; };
    const auto clean = [edge](std::string_view a) {
        return !a.empty() && edge(a[0]) && edge(a.back()) && a.find_first_of("\t\n\r") == a.npos;
    };
    FUZZ_CHECK(std::ranges::all_of(links.pages, clean) && std::ranges::all_of(links.resources, clean));
    FUZZ_CHECK(prefixed.pages == links.pages && prefixed.resources == links.resources && prefixed.base == links.base);
    for (std::size_t at = page.find('&'); at != std::string_view::npos; at = page.find('&', at + 1)) {
        std::string out;
        const std::size_t next = DecodeCharacterReference(page, at, (data[0] & 8) != 0, out);
        FUZZ_CHECK(next > at && next <= page.size() && !out.empty());
    }

    testing::FakeView view;  // the whole "All links" parse
    const auto state = std::make_unique<AppState>();
    state->view = &view;
    state->siteAddress = "http://www.site.com";
    state->siteKey = "site.com";
    const char* const bases[] = {"http://www.site.com/", "https://site.com/docs/a/b.html?q#f", "site.com/no/scheme",
                                 "http://[::1]:8080"};
    state->pageBaseAddress = bases[data[0] & 3];
    state->grabMode = kGrabAllLinks;
    if ((data[0] & 4) != 0) state->linkExtensions = {"png", "-"};
    FUZZ_CHECK(ParsePageText(*state, page));
    return 0;
}
