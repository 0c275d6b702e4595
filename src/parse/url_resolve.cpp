#include "parse/url_resolve.h"

#include <optional>

namespace veltrano {
namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The five parts of a URI reference (RFC 3986 appendix B); a part that is
// absent differs from one that is present and empty.
struct UriParts {
    std::optional<std::string_view> scheme;
    std::optional<std::string_view> authority;
    std::string_view path;
    std::optional<std::string_view> query;
    std::optional<std::string_view> fragment;
};

UriParts SplitUri(std::string_view text, bool mayHaveScheme) {
    UriParts parts;
    if (const std::size_t hash = text.find('#'); hash != std::string_view::npos) {
        parts.fragment = text.substr(hash + 1);
        text = text.substr(0, hash);
    }
    if (const std::size_t mark = text.find('?'); mark != std::string_view::npos) {
        parts.query = text.substr(mark + 1);
        text = text.substr(0, mark);
    }
    if (mayHaveScheme) {
        const std::size_t colon = text.find_first_of(":/");
        if (colon != std::string_view::npos && colon > 0 && text[colon] == ':') {
            parts.scheme = text.substr(0, colon);
            text = text.substr(colon + 1);
        }
    }
    if (text.substr(0, 2) == "//") {
        const std::size_t end = text.find('/', 2);
        parts.authority = text.substr(2, end == std::string_view::npos ? std::string_view::npos : end - 2);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end);
    }
    parts.path = text;
    return parts;
}

// Base path up to and including its last "/", then the reference path.
std::string MergePaths(const UriParts& base, std::string_view referencePath) {
    std::string merged;
    if (base.authority && base.path.empty()) {
        merged = "/";
    } else if (const std::size_t slash = base.path.rfind('/'); slash != std::string_view::npos) {
        merged = base.path.substr(0, slash + 1);
    }
    merged += referencePath;
    return merged;
}

}  // namespace

bool HasUriScheme(std::string_view text) {
    if (text.empty() || !IsAlpha(text[0])) return false;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':') return true;
        if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return false;
}

std::string RemoveDotSegments(std::string_view input) {
    std::string output;
    while (!input.empty()) {
        if (input.substr(0, 3) == "../") {
            input.remove_prefix(3);
        } else if (input.substr(0, 2) == "./") {
            input.remove_prefix(2);
        } else if (input.substr(0, 3) == "/./") {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.substr(0, 4) == "/../" || input == "/..") {
            input = input.size() == 3 ? std::string_view("/") : input.substr(3);
            const std::size_t slash = output.rfind('/');
            output.erase(slash == std::string::npos ? 0 : slash);
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            // Move the first segment, with its leading "/" if any, to the output.
            const std::size_t end = input.find('/', input[0] == '/' ? 1 : 0);
            const std::size_t length = end == std::string_view::npos ? input.size() : end;
            output.append(input.substr(0, length));
            input.remove_prefix(length);
        }
    }
    return output;
}

std::string ResolveReference(std::string_view base, std::string_view reference) {
    UriParts baseParts = SplitUri(base, true);
    if (baseParts.authority && baseParts.path.empty()) baseParts.path = "/";
    const UriParts ref = SplitUri(reference, false);

    std::optional<std::string_view> authority;
    std::string path;
    std::optional<std::string_view> query;
    if (ref.authority) {
        authority = ref.authority;
        path = RemoveDotSegments(ref.path);
        query = ref.query;
    } else {
        authority = baseParts.authority;
        if (ref.path.empty()) {
            path = baseParts.path;
            query = ref.query ? ref.query : baseParts.query;
        } else {
            path = RemoveDotSegments(ref.path.front() == '/' ? std::string(ref.path) : MergePaths(baseParts, ref.path));
            query = ref.query;
        }
    }

    std::string target;
    if (baseParts.scheme) {
        target += *baseParts.scheme;
        target += ':';
    }
    if (authority) {
        target += "//";
        target += *authority;
    }
    target += path;
    if (query) {
        target += '?';
        target += *query;
    }
    if (ref.fragment) {
        target += '#';
        target += *ref.fragment;
    }
    return target;
}

}  // namespace veltrano
