#include "parse/html_links.h"

#include "parse/html_tokenizer.h"

namespace veltrano {
namespace {

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool EqualsNoCase(std::string_view a, std::string_view lowerB) {
    if (a.size() != lowerB.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != lowerB[i]) return false;
    }
    return true;
}

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && IsAsciiSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsAsciiSpace(text.back())) text.remove_suffix(1);
    return text;
}

// An address as a browser takes it from an attribute: control characters
// and blanks around it dropped, tabs and line breaks inside it removed.
void AddAddress(std::vector<std::string>& list, std::string_view value) {
    while (!value.empty() && static_cast<unsigned char>(value.front()) <= ' ') value.remove_prefix(1);
    while (!value.empty() && static_cast<unsigned char>(value.back()) <= ' ') value.remove_suffix(1);
    if (value.empty()) return;
    std::string address;
    address.reserve(value.size());
    for (const char c : value) {
        if (c != '\t' && c != '\n' && c != '\r') address += c;
    }
    list.push_back(std::move(address));
}

// The candidates of a srcset: addresses separated by commas, each perhaps
// followed by descriptors ("2x", "300w").
void AddSrcset(std::vector<std::string>& list, std::string_view srcset) {
    std::size_t p = 0;
    while (p < srcset.size()) {
        while (p < srcset.size() && (IsAsciiSpace(srcset[p]) || srcset[p] == ',')) ++p;
        const std::size_t start = p;
        while (p < srcset.size() && !IsAsciiSpace(srcset[p])) ++p;
        std::string_view address = srcset.substr(start, p - start);
        bool descriptors = true;
        if (!address.empty() && address.back() == ',') {
            while (!address.empty() && address.back() == ',') address.remove_suffix(1);
            descriptors = false;
        }
        AddAddress(list, address);
        if (!descriptors) continue;
        // Descriptors run to the next comma outside parentheses.
        bool inParens = false;
        while (p < srcset.size() && (inParens || srcset[p] != ',')) {
            if (srcset[p] == '(') inParens = true;
            if (srcset[p] == ')') inParens = false;
            ++p;
        }
    }
}

// The target of <meta http-equiv="refresh" content="5; url=next.html">.
void AddRefreshTarget(std::vector<std::string>& list, std::string_view content) {
    std::size_t p = 0;
    while (p < content.size() && IsAsciiSpace(content[p])) ++p;
    const std::size_t timeStart = p;
    while (p < content.size() && ((content[p] >= '0' && content[p] <= '9') || content[p] == '.')) ++p;
    if (p == timeStart) return;
    if (p == content.size()) return;
    if (content[p] != ';' && content[p] != ',' && !IsAsciiSpace(content[p])) return;
    while (p < content.size() && IsAsciiSpace(content[p])) ++p;
    if (p < content.size() && (content[p] == ';' || content[p] == ',')) ++p;
    while (p < content.size() && IsAsciiSpace(content[p])) ++p;
    std::string_view rest = content.substr(p);
    if (rest.size() >= 3 && EqualsNoCase(rest.substr(0, 3), "url")) {
        std::size_t q = 3;
        while (q < rest.size() && IsAsciiSpace(rest[q])) ++q;
        if (q < rest.size() && rest[q] == '=') {
            ++q;
            while (q < rest.size() && IsAsciiSpace(rest[q])) ++q;
            rest = rest.substr(q);
        }
    }
    if (!rest.empty() && (rest.front() == '"' || rest.front() == '\'')) {
        const char quote = rest.front();
        rest.remove_prefix(1);
        rest = rest.substr(0, rest.find(quote));
    }
    AddAddress(list, TrimSpaces(rest));
}

bool IsIdentifierChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// A CSS string or url() body from `p`; backslashes escape the next byte.
// `closers` ends an unquoted body.
std::string ReadCssValue(std::string_view css, std::size_t& p, std::string_view closers) {
    std::string value;
    char quote = '\0';
    if (p < css.size() && (css[p] == '"' || css[p] == '\'')) quote = css[p++];
    while (p < css.size()) {
        const char c = css[p];
        if (quote != '\0' ? c == quote : closers.find(c) != std::string_view::npos) break;
        if (c == '\\' && p + 1 < css.size()) {
            value += css[p + 1];
            p += 2;
            continue;
        }
        value += c;
        ++p;
    }
    if (quote != '\0' && p < css.size()) ++p;
    return value;
}

// The addresses of url(...) and of @import "..." in a style sheet or a
// style attribute; comments are passed over.
void AddCssAddresses(std::vector<std::string>& list, std::string_view css) {
    std::size_t p = 0;
    while (p < css.size()) {
        const char c = css[p];
        if (c == '/' && p + 1 < css.size() && css[p + 1] == '*') {
            const std::size_t end = css.find("*/", p + 2);
            p = end == std::string_view::npos ? css.size() : end + 2;
        } else if (c == '"' || c == '\'') {
            ReadCssValue(css, p, {});  // a string that is no address
        } else if ((c == 'u' || c == 'U') && css.size() - p >= 4 && EqualsNoCase(css.substr(p, 4), "url(") &&
                   (p == 0 || !IsIdentifierChar(css[p - 1]))) {
            p += 4;
            while (p < css.size() && IsAsciiSpace(css[p])) ++p;
            AddAddress(list, ReadCssValue(css, p, ") \t\n\r\f"));
            const std::size_t close = css.find(')', p);
            p = close == std::string_view::npos ? css.size() : close + 1;
        } else if (c == '@' && css.size() - p >= 7 && EqualsNoCase(css.substr(p, 7), "@import")) {
            p += 7;
            while (p < css.size() && IsAsciiSpace(css[p])) ++p;
            if (p < css.size() && (css[p] == '"' || css[p] == '\'')) AddAddress(list, ReadCssValue(css, p, {}));
        } else {
            ++p;
        }
    }
}

class LinkCollector : public HtmlTokenSink {
public:
    explicit LinkCollector(HtmlLinks& links) : links_(links) {}

    void StartTag(const HtmlStartTag& tag) override {
        const std::string_view name = tag.name;
        if (name == "base") {
            if (const std::string* href = tag.Find("href"); href != nullptr && !baseSeen_) {
                baseSeen_ = true;
                std::vector<std::string> base;
                AddAddress(base, *href);
                if (!base.empty()) links_.base = std::move(base.front());
            }
            return;
        }
        const bool anchor = name == "a" || name == "area";
        const bool frame = name == "frame" || name == "iframe";
        if (anchor || frame) {
            const std::string* target = tag.Find(anchor ? "href" : "src");
            if (target == nullptr && anchor) target = tag.Find("xlink:href");  // an SVG link
            if (target != nullptr) AddAddress(links_.pages, *target);
        }
        for (std::size_t i = 0; i < tag.count; ++i) {
            const HtmlAttribute& attribute = tag.attributes[i];
            const std::string_view attributeName = attribute.name;
            if (attributeName == "href" || attributeName == "src" || attributeName == "xlink:href" ||
                attributeName == "poster" || attributeName == "background" || attributeName == "lowsrc" ||
                (attributeName == "data" && name == "object")) {
                AddAddress(links_.resources, attribute.value);
            } else if (attributeName == "srcset" || attributeName == "imagesrcset") {
                AddSrcset(links_.resources, attribute.value);
            } else if (attributeName == "style") {
                AddCssAddresses(links_.resources, attribute.value);
            } else if (attributeName == "content" && name == "meta") {
                const std::string* equiv = tag.Find("http-equiv");
                if (equiv != nullptr && EqualsNoCase(TrimSpaces(*equiv), "refresh")) {
                    // A browser goes there by itself: a page to visit as well.
                    const std::size_t before = links_.resources.size();
                    AddRefreshTarget(links_.resources, attribute.value);
                    if (links_.resources.size() != before) links_.pages.push_back(links_.resources.back());
                }
            }
        }
    }

    void StyleText(std::string_view css) override { AddCssAddresses(links_.resources, css); }

private:
    HtmlLinks& links_;
    bool baseSeen_ = false;
};

}  // namespace

HtmlLinks ReadHtmlLinks(std::string_view page) {
    HtmlLinks links;
    LinkCollector collector(links);
    TokenizeHtml(page, collector);
    return links;
}

}  // namespace veltrano
