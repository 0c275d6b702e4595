// The address helpers against any address a page or a redirect may carry. Input: the base address up to the first
// line feed, then the reference (a captured link, which may hold line feeds; without one, none).
#include "fuzz_support.h"

FUZZ_TARGET(input) {
    constexpr std::size_t npos = std::string_view::npos;
    const auto [base, reference] = fuzz::FirstLine(input);

    const std::string folded = fuzz::Folded(std::string(base));
    const std::size_t www = folded.find("WWW."), http = folded.find("HTTP://");
    FUZZ_CHECK(SiteKey(base) == base.substr(www != npos ? www + 4 : http != npos ? http + 7 : 0));

    const std::string clean = RemoveDotSegments(reference);
    FUZZ_CHECK(clean.size() <= reference.size() && RemoveDotSegments(clean) == clean);
    FUZZ_CHECK(("/" + clean + "/").find("/./") == npos && ("/" + clean + "/").find("/../") == npos);

    // Nothing is made up (at most a "/" for a base with an empty path); the base's scheme stays; the fragment is the
    // reference's alone.
    const std::string target = ResolveReference(base, reference);
    FUZZ_CHECK(target.size() <= base.size() + reference.size() + 1);
    const std::size_t colon = base.find_first_of(":/?#"), hash = reference.find('#');
    FUZZ_CHECK(colon == 0 || colon == npos || base[colon] != ':' || target.starts_with(base.substr(0, colon + 1)));
    FUZZ_CHECK(hash == npos ? target.find('#') == npos : target.ends_with(reference.substr(hash)));
    for (const std::string_view address : {input, std::string_view(target)}) {
        const std::string extension = UrlExtension(address);
        FUZZ_CHECK(extension.find_first_of(std::string_view("/?#&.\0", 6)) == npos &&
                   (extension.empty() || UrlFileName(address).ends_with("." + extension)));
    }
}
