// The address helpers against any address a page or a redirect may carry.
// Input: the base address up to the first line feed, then the reference
// (a captured link, which may itself hold line feeds). Without a line
// feed the whole input is the base and the reference is empty.
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "crawl/crawl_start.h"
#include "parse/url_resolve.h"
#include "text/text_ops.h"

namespace veltrano::fuzz {
namespace {

// The part of an address that the file-name helpers look at.
std::string_view CutAddress(std::string_view address) {
    address = address.substr(0, 1023);
    return address.substr(0, address.find_first_of(std::string_view("#?&\0", 4)));
}

void CheckFileName(std::string_view address) {
    const std::string_view cut = CutAddress(address);
    const std::string name = UrlFileName(address);
    FUZZ_CHECK(EndsWith(cut, name));
    if (name.find('/') != std::string::npos) {
        // Only an address without a path is its own file name.
        const std::size_t slash = cut.rfind('/');
        FUZZ_CHECK(name == cut && slash > 0 && cut[slash - 1] == '/');
    } else if (name.size() < cut.size()) {
        FUZZ_CHECK(cut[cut.size() - name.size() - 1] == '/');
    }

    const std::string extension = UrlExtension(address);
    FUZZ_CHECK(extension.find_first_of(std::string_view("/?#&.\0", 6)) == std::string::npos);
    if (!extension.empty()) FUZZ_CHECK(EndsWith(name, "." + extension));
}

void CheckSiteKey(std::string_view address) {
    const std::string key = SiteKey(address);
    FUZZ_CHECK(EndsWith(address, key));
    // The key follows the first "www.", or else the first "http://".
    const std::string_view before = address.substr(0, address.size() - key.size());
    if (before.empty()) {
        FUZZ_CHECK(!ContainsNoCase(address, "www.") && !ContainsNoCase(address, "http://"));
    } else if (before.size() >= 4 && EqualNoCase(before.substr(before.size() - 4), "www.")) {
        FUZZ_CHECK(!ContainsNoCase(before.substr(0, before.size() - 1), "www."));
    } else {
        FUZZ_CHECK(before.size() >= 7 && EqualNoCase(before.substr(before.size() - 7), "http://"));
        FUZZ_CHECK(!ContainsNoCase(address, "www."));
        FUZZ_CHECK(!ContainsNoCase(before.substr(0, before.size() - 1), "http://"));
    }
}

bool HasDotSegment(std::string_view path) {
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('/', start);
        const std::string_view segment = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (segment == "." || segment == "..") return true;
        if (end == std::string_view::npos) return false;
        start = end + 1;
    }
}

void CheckDotSegments(std::string_view path) {
    const std::string clean = RemoveDotSegments(path);
    FUZZ_CHECK(clean.size() <= path.size());
    FUZZ_CHECK(!HasDotSegment(clean));
    FUZZ_CHECK(RemoveDotSegments(clean) == clean);
}

void CheckResolve(std::string_view base, std::string_view reference) {
    const std::string target = ResolveReference(base, reference);
    // Nothing is made up: at most a "/" for a base with an empty path.
    FUZZ_CHECK(target.size() <= base.size() + reference.size() + 1);
    // The base's scheme stays; the fragment is the reference's alone.
    const std::size_t colon = base.find_first_of(":/?#");
    if (colon != std::string_view::npos && colon > 0 && base[colon] == ':') {
        FUZZ_CHECK(StartsWith(target, base.substr(0, colon + 1)));
    }
    const std::size_t hash = reference.find('#');
    FUZZ_CHECK((target.find('#') != std::string::npos) == (hash != std::string_view::npos));
    if (hash != std::string_view::npos) FUZZ_CHECK(EndsWith(target, reference.substr(hash)));
    CheckFileName(target);
}

}  // namespace
}  // namespace veltrano::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrano::fuzz;
    const std::string_view input = AsText(data, size);
    const std::size_t feed = input.find('\n');
    const std::string_view base = input.substr(0, feed);
    const std::string_view reference = feed == std::string_view::npos ? std::string_view() : input.substr(feed + 1);

    CheckFileName(base);
    CheckFileName(input);
    CheckSiteKey(base);
    CheckDotSegments(reference);
    CheckResolve(base, reference);
    return 0;
}
