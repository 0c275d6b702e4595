#include "text/text_ops.h"

#include <algorithm>

namespace veltrano {
namespace {

// Addresses are handled as C texts of at most this many characters.
constexpr std::size_t kAddressCopyMax = 1023;

// The address as the URL helpers see it: at most 1023 characters, ending at
// a NUL, and cut at the first "#", "?" or "&".
std::string_view CutAddress(std::string_view address) {
    address = address.substr(0, std::min(address.size(), kAddressCopyMax));
    const std::size_t cut = address.find_first_of(std::string_view("#?&\0", 4));
    return cut == std::string_view::npos ? address : address.substr(0, cut);
}

}  // namespace

void TrimBlanks(std::string& text) {
    std::size_t first = 0;
    while (first < text.size() && IsBlank(static_cast<unsigned char>(text[first]))) ++first;
    std::size_t last = text.size();
    while (last > first && IsBlank(static_cast<unsigned char>(text[last - 1]))) --last;
    text.erase(last);
    text.erase(0, first);
}

bool MatchAtNoCase(std::size_t position, std::string_view pattern, std::string_view text) {
    if (pattern.empty()) return true;
    if (position >= text.size() || text.size() - position < pattern.size()) return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (FoldUpper(static_cast<unsigned char>(text[position + i])) !=
            FoldUpper(static_cast<unsigned char>(pattern[i])))
            return false;
    }
    return true;
}

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    if (needle.size() > haystack.size()) return false;
    for (std::size_t p = 0; p + needle.size() <= haystack.size(); ++p) {
        if (MatchAtNoCase(p, needle, haystack)) return true;
    }
    return false;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && MatchAtNoCase(0, b, a);
}

std::string UrlFileName(std::string_view address) {
    const std::string_view cut = CutAddress(address);
    const std::size_t slash = cut.rfind('/');
    if (slash == std::string_view::npos) return std::string(cut);
    if (slash > 0 && cut[slash - 1] == '/') return std::string(cut);  // only the "//" of the scheme
    return std::string(cut.substr(slash + 1));
}

std::string UrlExtension(std::string_view address) {
    const std::string_view cut = CutAddress(address);
    // The first path slash: a "//" and the character after it are passed over.
    std::size_t i = 0;
    bool pathFound = false;
    while (i < cut.size()) {
        if (cut[i] == '/') {
            if (i + 1 < cut.size() && cut[i + 1] == '/') {
                i += 3;
                continue;
            }
            pathFound = true;
            break;
        }
        ++i;
    }
    if (!pathFound) return {};
    const std::size_t mark = cut.find_last_of("./");
    if (mark == std::string_view::npos || cut[mark] == '/') return {};
    return std::string(cut.substr(mark + 1));
}

std::string FormatThousands(std::int64_t value) {
    const bool negative = value < 0;
    // Magnitude as unsigned, so the most negative value needs no special case.
    std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string digits;
    int inGroup = 0;
    do {
        if (inGroup == 3) {
            digits.push_back('\'');
            inGroup = 0;
        }
        digits.push_back(static_cast<char>('0' + magnitude % 10));
        magnitude /= 10;
        ++inGroup;
    } while (magnitude != 0);
    if (negative) digits.push_back('-');
    std::reverse(digits.begin(), digits.end());
    return digits;
}

std::string FormatCount(std::size_t count) { return FormatThousands(static_cast<std::int64_t>(count)); }

}  // namespace veltrano
