#include "parse/robots.h"

#include <algorithm>
#include <utility>

#include "text/text_ops.h"

namespace veltrano {
namespace {

// RFC 9309 asks crawlers to read at least this much of a file; what lies
// beyond is dropped so that a huge or endless answer costs no more.
constexpr std::size_t kParseLimit = 500 * 1024;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The characters of a product token (RFC 9309 section 2.2.1).
bool IsTokenChar(char c) { return IsAlpha(c) || c == '_' || c == '-'; }

// RFC 3986's unreserved characters: their percent-encoded and plain forms
// are the same address.
bool IsUnreserved(char c) {
    return IsAlpha(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendEncoded(std::string& out, unsigned char octet) {
    constexpr std::string_view kHex = "0123456789ABCDEF";
    out += '%';
    out += kHex[octet >> 4];
    out += kHex[octet & 0xF];
}

// One spelling for a path or a pattern, so that plain octet comparison
// treats equivalent addresses alike: "%7E" is "~", "%2f" is "%2F" (and not
// "/"), a raw UTF-8 octet is its "%XX". "*" and "$" are reserved, so an
// encoded one stays encoded and never turns into a wildcard or an anchor.
std::string Normalize(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto octet = static_cast<unsigned char>(text[i]);
        if (octet == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            const auto decoded = static_cast<unsigned char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            if (IsUnreserved(static_cast<char>(decoded)))
                out += static_cast<char>(decoded);
            else
                AppendEncoded(out, decoded);
            i += 2;
        } else if (octet <= 0x20 || octet >= 0x7F) {
            AppendEncoded(out, octet);
        } else {
            out += static_cast<char>(octet);
        }
    }
    return out;
}

// Whether `pattern` ("*" matching any run of octets) matches the start of
// `path`, or all of it when `anchored`. Greedy with a return to the last
// "*": linear for ordinary patterns, never worse than their product.
bool Matches(std::string_view pattern, bool anchored, std::string_view path) {
    constexpr std::size_t kNone = std::string_view::npos;
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t starP = kNone;
    std::size_t starT = 0;
    while (t < path.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
        } else if (p == pattern.size() && !anchored) {
            return true;
        } else if (p < pattern.size() && pattern[p] == path[t]) {
            ++p;
            ++t;
        } else if (starP != kNone) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && IsBlank(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

// The leading product token of a user-agent value or of our own name:
// "Veltrano/1.0 (+http://...)" -> "Veltrano".
std::string_view ProductToken(std::string_view text) {
    std::size_t end = 0;
    while (end < text.size() && IsTokenChar(text[end])) ++end;
    return text.substr(0, end);
}

bool IsEveryone(std::string_view value) {
    return !value.empty() && value.front() == '*' &&
           (value.size() == 1 || IsBlank(static_cast<unsigned char>(value[1])));
}

// The text as far as it is read: its first kParseLimit octets, less a
// line that the limit cuts in two (half a rule could say something else).
std::string_view LimitText(std::string_view text) {
    if (text.size() <= kParseLimit) return text;
    const std::string_view kept = text.substr(0, kParseLimit);
    if (text[kParseLimit] == '\n' || text[kParseLimit] == '\r') return kept;
    const std::size_t lastBreak = kept.find_last_of("\r\n");
    return lastBreak == std::string_view::npos ? std::string_view() : kept.substr(0, lastBreak + 1);
}

bool IsSchemeName(std::string_view text) {
    if (text.empty() || !IsAlpha(text.front())) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return IsAlpha(c) || IsDigit(c) || c == '+' || c == '-' || c == '.';
    });
}

// Where an address's authority begins (after "scheme://" or a leading
// "//"), or npos when it has none; `scheme` receives the scheme.
std::size_t AuthorityStart(std::string_view address, std::string_view& scheme) {
    std::size_t start = 0;
    const std::size_t colon = address.find_first_of(":/?#");
    if (colon != std::string_view::npos && address[colon] == ':' && IsSchemeName(address.substr(0, colon))) {
        scheme = address.substr(0, colon);
        start = colon + 1;
    }
    return address.substr(start, 2) == "//" ? start + 2 : std::string_view::npos;
}

// The path and query of an address as robots.txt rules see them: the
// fragment dropped, an absent path taken as "/".
std::string PathAndQuery(std::string_view address) {
    address = address.substr(0, address.find('#'));
    std::string_view scheme;
    std::size_t start = AuthorityStart(address, scheme);
    if (start == std::string_view::npos) {
        start = scheme.empty() ? 0 : scheme.size() + 1;
    } else {
        start = address.find_first_of("/?", start);
        if (start == std::string_view::npos) return "/";
    }
    const std::string_view rest = address.substr(start);
    if (rest.empty() || rest.front() != '/') return "/" + std::string(rest);
    return std::string(rest);
}

std::string LowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

RobotsRules RobotsRules::AllowAll() { return RobotsRules(); }

RobotsRules RobotsRules::DisallowAll() {
    RobotsRules rules;
    rules.rules_.push_back(Rule{"/", false, false, 1});
    return rules;
}

RobotsRules RobotsRules::Parse(std::string_view text, std::string_view agent) {
    constexpr std::size_t kRulesMax = 2000;
    text = LimitText(text);
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
    const std::string_view ourToken = ProductToken(agent);

    std::vector<Rule> ours;
    std::vector<Rule> everyones;
    bool oursFound = false;
    // The group being read: whether its user-agent lines are still coming,
    // and whom they name.
    bool readingAgents = false;
    bool groupIsOurs = false;
    bool groupIsEveryones = false;

    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        if (end == std::string_view::npos) {
            text = {};
        } else {
            text.remove_prefix(end + (text.substr(end, 2) == "\r\n" ? 2 : 1));
        }
        line = line.substr(0, line.find('#'));
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string_view field = Trim(line.substr(0, colon));
        const std::string_view value = Trim(line.substr(colon + 1));

        if (EqualNoCase(field, "user-agent")) {
            if (!readingAgents) {
                readingAgents = true;
                groupIsOurs = false;
                groupIsEveryones = false;
            }
            if (IsEveryone(value)) {
                groupIsEveryones = true;
            } else if (!ourToken.empty() && EqualNoCase(ProductToken(value), ourToken)) {
                groupIsOurs = true;
                oursFound = true;
            }
            continue;
        }
        const bool allow = EqualNoCase(field, "allow");
        if (!allow && !EqualNoCase(field, "disallow")) continue;  // sitemap, crawl-delay, ...
        readingAgents = false;
        // An empty value names no path, so it is no rule; as a rule line it
        // still ends the user-agent lines above it.
        if (value.empty()) continue;

        Rule rule;
        rule.allow = allow;
        std::string_view pattern = value;
        if (pattern.back() == '$') {
            rule.anchored = true;
            pattern.remove_suffix(1);
        }
        rule.pattern = Normalize(pattern);
        // A pattern has to start with "/" (or "*"); "Disallow: private"
        // means "/private" by every reasonable reading.
        if (rule.pattern.empty() || (rule.pattern.front() != '/' && rule.pattern.front() != '*'))
            rule.pattern.insert(0, 1, '/');
        rule.length = rule.pattern.size() + (rule.anchored ? 1 : 0);
        // Every address is checked against every rule: a file of tens of
        // thousands of wildcard rules would make each page cost seconds.
        // No site needs more rules than these for one crawler.
        if (groupIsOurs && ours.size() < kRulesMax) ours.push_back(rule);
        if (groupIsEveryones && everyones.size() < kRulesMax) everyones.push_back(std::move(rule));
    }

    RobotsRules rules;
    rules.rules_ = oursFound ? std::move(ours) : std::move(everyones);
    return rules;
}

RobotsRules RobotsRules::FromAnswer(int httpStatus, std::string_view body, std::string_view agent) {
    if (httpStatus >= 200 && httpStatus < 300) return Parse(body, agent);
    if (httpStatus >= 300 && httpStatus < 500) return AllowAll();
    return DisallowAll();
}

bool RobotsRules::Allowed(std::string_view address) const {
    const std::string path = Normalize(PathAndQuery(address));
    if (path == "/robots.txt") return true;
    bool matched = false;
    bool allow = true;
    std::size_t longest = 0;
    for (const Rule& rule : rules_) {
        // Only a longer pattern, or an allow of the same length, can change the verdict.
        if (matched && (rule.length < longest || (rule.length == longest && !rule.allow))) continue;
        if (!Matches(rule.pattern, rule.anchored, path)) continue;
        matched = true;
        longest = rule.length;
        allow = rule.allow;
    }
    return allow;
}

std::string RobotsOrigin(std::string_view address) {
    std::string_view scheme;
    const std::size_t start = AuthorityStart(address, scheme);
    if (scheme.empty() || start == std::string_view::npos) return {};
    std::string_view authority = address.substr(start);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);

    std::string_view host = authority;
    std::string_view port;
    // The colons of an IPv6 literal ("[::1]:8080") are not the port's.
    const std::size_t hostEnd = authority.substr(0, 1) == "[" ? authority.find(']') : 0;
    const std::size_t portColon =
        hostEnd == std::string_view::npos ? std::string_view::npos : authority.find(':', hostEnd);
    if (portColon != std::string_view::npos) {
        host = authority.substr(0, portColon);
        port = authority.substr(portColon + 1);
    }
    if (host.empty()) return {};

    std::string origin = LowerCase(scheme) + "://" + LowerCase(host);
    const bool defaultPort = (EqualNoCase(scheme, "http") && port == "80") ||
                             (EqualNoCase(scheme, "https") && port == "443");
    if (!port.empty() && !defaultPort) origin += ":" + std::string(port);
    return origin;
}

std::string RobotsAddress(std::string_view address) {
    std::string origin = RobotsOrigin(address);
    if (!origin.empty()) origin += "/robots.txt";
    return origin;
}

}  // namespace veltrano
