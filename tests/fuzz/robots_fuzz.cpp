// The robots.txt rules against any file a site may serve. Input: the path (and query) of an address of the site up
// to the first line feed, then the robots.txt text.
#include <cctype>

#include "fuzz_support.h"

FUZZ_TARGET(input) {
    const std::string site = "http://www.site.com/";
    const auto [line, text] = fuzz::FirstLine(input);

    const std::string origin = RobotsOrigin(line);
    const std::size_t separator = origin.find("://");
    FUZZ_CHECK(origin.empty() || (separator != std::string::npos && separator > 0 && origin.size() <= line.size() &&
                                  origin.find_first_of("/?#@", separator + 3) == std::string::npos));

    // A fragment, or the first plain letter or digit of the path written as "%XX", names the same address. The
    // robots.txt itself is always allowed.
    std::string_view path = line.substr(0, line.find('#'));
    if (path.starts_with('/')) path.remove_prefix(1);
    const std::string address = site + std::string(path);
    const RobotsRules rules = RobotsRules::Parse(text, "Veltrano/1.0");
    const bool allowed = rules.Allowed(address);
    FUZZ_CHECK(rules.Allowed(address + "#fragment") == allowed && rules.Allowed(RobotsAddress(address)));
    for (std::size_t i = site.size(); i < address.size(); ++i) {
        const auto octet = static_cast<unsigned char>(address[i]);
        if (!std::isalnum(octet) || address[i - 1] == '%' || address[i - 2] == '%') continue;
        constexpr std::string_view kHex = "0123456789ABCDEF";
        std::string encoded = address;
        FUZZ_CHECK(rules.Allowed(encoded.replace(i, 1, {'%', kHex[octet >> 4], kHex[octet & 15]})) == allowed);
        break;
    }
}
