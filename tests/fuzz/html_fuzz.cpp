// The "All links" reader against hostile pages.
//
// Input: one flag byte, then the page. Bits 0-1 of the flag choose the
// address of the page, bit 2 an extension list for the results.
#include <memory>
#include <string>
#include <string_view>

#include "fake_view.h"
#include "fuzz_support.h"
#include "parse/html_links.h"
#include "parse/html_tokenizer.h"
#include "parse/page_parser.h"
#include "state/app_state.h"

namespace {

constexpr std::string_view kBases[] = {
    "http://www.site.com/",
    "https://site.com/docs/a/b.html?q#f",
    "site.com/no/scheme",
    "http://[::1]:8080",
};

void CheckAddress(std::string_view address) {
    FUZZ_CHECK(!address.empty());
    FUZZ_CHECK(static_cast<unsigned char>(address.front()) > ' ');
    FUZZ_CHECK(static_cast<unsigned char>(address.back()) > ' ');
    FUZZ_CHECK(address.find_first_of("\t\n\r") == std::string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrano;
    using namespace veltrano::fuzz;
    if (size == 0) return 0;
    const unsigned flags = data[0];
    const std::string_view page = AsText(data + 1, size - 1);

    const HtmlLinks links = ReadHtmlLinks(page);
    for (const std::string& address : links.pages) CheckAddress(address);
    for (const std::string& address : links.resources) CheckAddress(address);
    // Every page link is an address the page uses too.
    FUZZ_CHECK(links.pages.size() <= links.resources.size());
    // A complete tag before the page changes nothing of it.
    const HtmlLinks prefixed = ReadHtmlLinks("<p class=x>" + std::string(page));
    FUZZ_CHECK(prefixed.pages == links.pages && prefixed.resources == links.resources && prefixed.base == links.base);

    // A reference decodes to something and moves on.
    for (std::size_t at = page.find('&'); at != std::string_view::npos; at = page.find('&', at + 1)) {
        std::string out;
        const std::size_t next = DecodeCharacterReference(page, at, (flags & 8) != 0, out);
        FUZZ_CHECK(next > at && next <= page.size() && !out.empty());
    }

    testing::FakeView view;
    const auto state = std::make_unique<AppState>();
    state->view = &view;
    state->siteAddress = "http://www.site.com";
    state->siteKey = "site.com";
    state->pageBaseAddress = kBases[flags & 3];
    state->grabMode = kGrabAllLinks;
    if (flags & 4) {
        state->linkExtensions[0] = "png";
        state->linkExtensions[1] = "-";
    }
    FUZZ_CHECK(ParsePageText(*state, page));
    for (const std::string& result : state->resultList.Items()) {
        FUZZ_CHECK(result.find('#') == std::string::npos);
        std::string scheme = result.substr(0, result.find(':'));
        for (char& c : scheme) c = static_cast<char>(c | 0x20);
        FUZZ_CHECK(scheme == "http" || scheme == "https" || scheme == "ftp");
    }
    return 0;
}
