// The robots.txt rules against any file a site may serve.
// Input: the path (and query) of an address of the site up to the first
// line feed, then the robots.txt text.
#include <cctype>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrano;
    constexpr std::string_view kAgent = "Veltrano/1.0";
    constexpr std::string_view kSite = "http://www.site.com";
    const std::string_view input = fuzz::AsText(data, size);
    const std::size_t feed = input.find('\n');
    std::string_view path = input.substr(0, feed);
    const std::string_view text = feed == std::string_view::npos ? std::string_view() : input.substr(feed + 1);

    // An origin is "scheme://host[:port]", nothing more, taken from the address.
    const std::string origin = RobotsOrigin(path);
    const std::size_t separator = origin.find("://");
    FUZZ_CHECK(origin.empty() || (separator != std::string::npos && separator > 0 && origin.size() <= path.size()));
    FUZZ_CHECK(origin.empty() || origin.find_first_of("/?#@", separator + 3) == std::string::npos);

    path = path.substr(0, path.find('#'));
    const std::string address = std::string(kSite) + (path.starts_with('/') ? "" : "/") + std::string(path);
    const RobotsRules rules = RobotsRules::Parse(text, kAgent);
    const bool allowed = rules.Allowed(address);
    FUZZ_CHECK(rules.Allowed(address + "#fragment") == allowed);
    // The first plain letter or digit of the path written as "%XX" names the same address.
    for (std::size_t i = kSite.size() + 1; i < address.size(); ++i) {
        const auto octet = static_cast<unsigned char>(address[i]);
        if (!std::isalnum(octet) || address[i - 1] == '%' || address[i - 2] == '%') continue;
        constexpr std::string_view kHex = "0123456789ABCDEF";
        const std::string encoded = address.substr(0, i) + '%' + kHex[octet >> 4] + kHex[octet & 0xF] + address.substr(i + 1);
        FUZZ_CHECK(rules.Allowed(encoded) == allowed);
        break;
    }
    FUZZ_CHECK(rules.Allowed(RobotsAddress(address)));

    // The answer's status decides before the text does.
    FUZZ_CHECK(RobotsRules::FromAnswer(404, text, kAgent).Allowed(address));
    // Only the robots.txt itself is allowed then; an escape may spell its name.
    if (address.find("robots.txt") == std::string::npos && address.find('%') == std::string::npos) {
        FUZZ_CHECK(!RobotsRules::FromAnswer(503, text, kAgent).Allowed(address));
    }
    return 0;
}
