// The address helpers against any address a page or a redirect may carry.
// Input: the base address up to the first line feed, then the reference
// (a captured link, which may itself hold line feeds). Without a line
// feed the whole input is the base and the reference is empty.
#include "fuzz_support.h"

namespace {

// The file name ends the first 1023 bytes cut at a query, fragment or
// parameters, after their last slash; only an address without a path
// ("http://host") is its own. The extension, if any, ends it after a dot.
void CheckFileName(std::string_view address) {
    std::string_view cut = address.substr(0, 1023);
    cut = cut.substr(0, cut.find_first_of(std::string_view("#?&\0", 4)));
    const std::string name = veltrano::UrlFileName(address);
    const std::size_t slash = cut.rfind('/');
    FUZZ_CHECK(cut.ends_with(name) && (name == cut || cut[cut.size() - name.size() - 1] == '/'));
    FUZZ_CHECK(name.find('/') == std::string::npos || (name == cut && slash > 0 && cut[slash - 1] == '/'));
    const std::string extension = veltrano::UrlExtension(address);
    FUZZ_CHECK(extension.find_first_of(std::string_view("/?#&.\0", 6)) == std::string::npos);
    FUZZ_CHECK(extension.empty() || name.ends_with("." + extension));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltrano;
    constexpr std::size_t npos = std::string_view::npos;
    const std::string_view input = fuzz::AsText(data, size);
    const std::size_t feed = input.find('\n');
    const std::string_view base = input.substr(0, feed);
    const std::string_view reference = feed == npos ? std::string_view() : input.substr(feed + 1);
    CheckFileName(base);
    CheckFileName(input);

    // The site key follows the first "www.", or else the first "http://", in any case.
    const std::string folded = fuzz::Folded(base);
    const std::size_t www = folded.find("WWW.");
    const std::size_t http = folded.find("HTTP://");
    FUZZ_CHECK(SiteKey(base) == base.substr(www != npos ? www + 4 : http != npos ? http + 7 : 0));

    const std::string clean = RemoveDotSegments(reference);
    const std::string segments = "/" + clean + "/";
    FUZZ_CHECK(clean.size() <= reference.size() && RemoveDotSegments(clean) == clean);
    FUZZ_CHECK(segments.find("/./") == npos && segments.find("/../") == npos);

    // Nothing is made up (at most a "/" for a base with an empty path); the
    // base's scheme stays; the fragment is the reference's alone.
    const std::string target = ResolveReference(base, reference);
    FUZZ_CHECK(target.size() <= base.size() + reference.size() + 1);
    const std::size_t colon = base.find_first_of(":/?#");
    FUZZ_CHECK(colon == 0 || colon == npos || base[colon] != ':' || target.starts_with(base.substr(0, colon + 1)));
    const std::size_t hash = reference.find('#');
    FUZZ_CHECK(hash == npos ? target.find('#') == npos : target.ends_with(reference.substr(hash)));
    CheckFileName(target);
    return 0;
}
