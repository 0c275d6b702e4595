// The robots.txt rules against any file a site may serve.
// Input: the path (and query) of an address of the site up to the first
// line feed, then the robots.txt text.
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "parse/robots.h"

namespace veltrano::fuzz {
namespace {

constexpr std::string_view kAgent = "Veltrano/1.0";
constexpr std::string_view kSite = "http://www.site.com";

bool IsAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// The address with its first plain letter or digit written as "%XX", which
// names the same address; unchanged when it has none.
std::string EncodeOneOctet(const std::string& address, std::size_t from) {
    for (std::size_t i = from; i < address.size(); ++i) {
        // A "%" just before would make the octet part of an escape.
        const bool escaped = address[i - 1] == '%' || (i >= 2 && address[i - 2] == '%');
        if (!IsAlnum(address[i]) || escaped) continue;
        constexpr std::string_view kHex = "0123456789ABCDEF";
        const auto octet = static_cast<unsigned char>(address[i]);
        return address.substr(0, i) + '%' + kHex[octet >> 4] + kHex[octet & 0xF] + address.substr(i + 1);
    }
    return address;
}

void CheckOrigin(std::string_view address) {
    const std::string origin = RobotsOrigin(address);
    const std::string robots = RobotsAddress(address);
    if (origin.empty()) {
        FUZZ_CHECK(robots.empty());
        return;
    }
    FUZZ_CHECK(robots == origin + "/robots.txt");
    const std::size_t separator = origin.find("://");
    FUZZ_CHECK(separator != std::string::npos && separator > 0);
    FUZZ_CHECK(origin.find_first_of("/?#@", separator + 3) == std::string::npos);
    FUZZ_CHECK(origin.size() <= address.size());
}

}  // namespace
}  // namespace veltrano::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrano;
    using namespace veltrano::fuzz;
    const std::string_view input = AsText(data, size);
    const std::size_t feed = input.find('\n');
    std::string_view path = input.substr(0, feed);
    const std::string_view text = feed == std::string_view::npos ? std::string_view() : input.substr(feed + 1);
    CheckOrigin(path);

    path = path.substr(0, path.find('#'));
    const std::string address = std::string(kSite) + (StartsWith(path, "/") ? "" : "/") + std::string(path);
    const RobotsRules rules = RobotsRules::Parse(text, kAgent);
    const bool allowed = rules.Allowed(address);
    FUZZ_CHECK(rules.Allowed(address + "#fragment") == allowed);
    FUZZ_CHECK(rules.Allowed(EncodeOneOctet(address, kSite.size() + 1)) == allowed);
    FUZZ_CHECK(rules.Allowed(RobotsAddress(address)));

    // The answer's status decides before the text does.
    FUZZ_CHECK(RobotsRules::FromAnswer(404, text, kAgent).Allowed(address));
    // Only the robots.txt itself is allowed then; an escape may spell its name.
    if (address.find("robots.txt") == std::string::npos && address.find('%') == std::string::npos) {
        FUZZ_CHECK(!RobotsRules::FromAnswer(503, text, kAgent).Allowed(address));
    }
    return 0;
}
