// The peer of "parse-bench --tokenizer": the same pages parsed with gumbo
// (a complete HTML5 parser, tree construction included), and the same
// addresses collected from the tree as ReadHtmlLinks collects them:
//
//   pages      <a href>, <area href>, <frame src>, <iframe src>,
//              <meta http-equiv=refresh> targets
//   resources  every href, src, xlink:href, poster, background and lowsrc,
//              <object data>, srcset and imagesrcset candidates, refresh
//              targets, CSS url(...) and @import "..." in style attributes
//              and <style> blocks
//   base       the first <base href> (its attributes are nothing else)
//
// Tree construction moves nodes around (foster parenting, the adoption
// agency), so the addresses are put back in source order by their offsets.
// Values lose control characters and blanks around them and tabs and line
// breaks inside them, as a browser's address parser does.
//
// Usage: gumbo-bench [--dump] FILE...
// A file is split into pages at each "<!DOCTYPE html>", as parse-bench does.
// Prints the counts, then "gumbo: <MB/s> MB/s" (bytes of all pages / time of
// parse, walk, collect and free). --dump prints every page's addresses
// instead, in the format of "parse-bench --tokenizer --dump".
#include <gumbo.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

struct Found {
    std::size_t offset;
    int kind;  // 0 base, 1 page, 2 resource
    std::string address;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string Clean(std::string_view value) {
    while (!value.empty() && static_cast<unsigned char>(value.front()) <= ' ') value.remove_prefix(1);
    while (!value.empty() && static_cast<unsigned char>(value.back()) <= ' ') value.remove_suffix(1);
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c != '\t' && c != '\n' && c != '\r') out.push_back(c);
    }
    return out;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

bool IsIdentChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// A CSS string or unquoted url() body from `i`; a backslash keeps the next
// byte as it is. `closers` end an unquoted body.
std::string CssValue(std::string_view css, std::size_t& i, std::string_view closers) {
    std::string value;
    char quote = '\0';
    if (i < css.size() && (css[i] == '"' || css[i] == '\'')) quote = css[i++];
    while (i < css.size()) {
        const char c = css[i];
        if (quote != '\0' ? c == quote : closers.find(c) != std::string_view::npos) break;
        if (c == '\\' && i + 1 < css.size()) {
            value += css[i + 1];
            i += 2;
            continue;
        }
        value += c;
        ++i;
    }
    if (quote != '\0' && i < css.size()) ++i;
    return value;
}

// url(...) and @import "..." in a piece of CSS; comments and other strings
// are passed over.
void CssUrls(std::string_view css, std::size_t offset, std::vector<Found>& out) {
    std::size_t i = 0;
    const std::size_t n = css.size();
    const auto add = [&](std::size_t at, const std::string& value) {
        std::string cleaned = Clean(value);
        if (!cleaned.empty()) out.push_back({offset + at, 2, std::move(cleaned)});
    };
    while (i < n) {
        const char c = css[i];
        const std::size_t at = i;
        if (c == '/' && i + 1 < n && css[i + 1] == '*') {
            const std::size_t end = css.find("*/", i + 2);
            i = end == std::string_view::npos ? n : end + 2;
        } else if (c == '"' || c == '\'') {
            CssValue(css, i, {});
        } else if ((c == 'u' || c == 'U') && n - i >= 4 && EqualNoCase(css.substr(i, 4), "url(") &&
                   (i == 0 || !IsIdentChar(css[i - 1]))) {
            i += 4;
            while (i < n && IsBlank(css[i])) ++i;
            add(at, CssValue(css, i, ") \t\n\r\f"));
            const std::size_t close = css.find(')', i);
            i = close == std::string_view::npos ? n : close + 1;
        } else if (c == '@' && n - i >= 7 && EqualNoCase(css.substr(i, 7), "@import")) {
            i += 7;
            while (i < n && IsBlank(css[i])) ++i;
            if (i < n && (css[i] == '"' || css[i] == '\'')) add(at, CssValue(css, i, {}));
        } else {
            ++i;
        }
    }
}

// The candidates of a srcset attribute: each address up to a blank, trailing
// commas dropped, descriptors (with parentheses) passed over up to the next comma.
void SrcsetUrls(std::string_view value, std::size_t offset, std::vector<Found>& out) {
    std::size_t i = 0;
    const std::size_t n = value.size();
    while (i < n) {
        while (i < n && (IsBlank(value[i]) || value[i] == ',')) ++i;
        if (i >= n) break;
        std::size_t end = i;
        while (end < n && !IsBlank(value[end])) ++end;
        std::string_view address = value.substr(i, end - i);
        i = end;
        if (!address.empty() && address.back() == ',') {
            while (!address.empty() && address.back() == ',') address.remove_suffix(1);
        } else {
            int depth = 0;
            while (i < n) {
                if (value[i] == '(') ++depth;
                else if (value[i] == ')' && depth > 0) --depth;
                else if (value[i] == ',' && depth == 0) break;
                ++i;
            }
        }
        std::string cleaned = Clean(address);
        if (!cleaned.empty()) out.push_back({offset, 2, std::move(cleaned)});
    }
}

// The address of a refresh declaration: "5; url='next.html'" and its variants.
bool RefreshUrl(std::string_view content, std::string& address) {
    std::size_t i = 0;
    const std::size_t n = content.size();
    while (i < n && IsBlank(content[i])) ++i;
    const std::size_t digits = i;
    while (i < n && content[i] >= '0' && content[i] <= '9') ++i;
    if (i == digits && (i >= n || content[i] != '.')) return false;
    while (i < n && ((content[i] >= '0' && content[i] <= '9') || content[i] == '.')) ++i;
    if (i < n && !IsBlank(content[i]) && content[i] != ';' && content[i] != ',') return false;
    while (i < n && IsBlank(content[i])) ++i;
    if (i < n && (content[i] == ';' || content[i] == ',')) ++i;
    while (i < n && IsBlank(content[i])) ++i;
    std::size_t start = i;
    if (i + 3 <= n && EqualNoCase(content.substr(i, 3), "url")) {
        std::size_t j = i + 3;
        while (j < n && IsBlank(content[j])) ++j;
        if (j < n && content[j] == '=') {
            ++j;
            while (j < n && IsBlank(content[j])) ++j;
            start = j;
        }
    }
    std::string_view rest = content.substr(start);
    if (!rest.empty() && (rest.front() == '"' || rest.front() == '\'')) {
        const char quote = rest.front();
        rest.remove_prefix(1);
        const std::size_t end = rest.find(quote);
        if (end != std::string_view::npos) rest = rest.substr(0, end);
    }
    address = Clean(rest);
    return !address.empty();
}

void Collect(const GumboNode* root, std::vector<Found>& found) {
    std::vector<const GumboNode*> stack{root};
    while (!stack.empty()) {
        const GumboNode* node = stack.back();
        stack.pop_back();
        const GumboVector* children = nullptr;
        if (node->type == GUMBO_NODE_DOCUMENT) {
            children = &node->v.document.children;
        } else if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
            const GumboElement& element = node->v.element;
            children = &element.children;
            const GumboTag tag = element.tag;
            const bool pageHref = tag == GUMBO_TAG_A || tag == GUMBO_TAG_AREA;
            const bool pageSrc = tag == GUMBO_TAG_FRAME || tag == GUMBO_TAG_IFRAME;
            bool refresh = false;
            const GumboAttribute* content = nullptr;
            for (unsigned i = 0; i < element.attributes.length; ++i) {
                const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
                const std::string_view name = attribute->name;
                const std::size_t at = attribute->name_start.offset;
                if (tag == GUMBO_TAG_BASE) {
                    std::string value = Clean(attribute->value);
                    if (name == "href" && !value.empty()) found.push_back({at, 0, std::move(value)});
                } else if (name == "href" || name == "src" || name == "xlink:href" || name == "poster" ||
                           name == "background" || name == "lowsrc" || (name == "data" && tag == GUMBO_TAG_OBJECT)) {
                    std::string value = Clean(attribute->value);
                    if (value.empty()) continue;
                    if ((name == "href" && pageHref) || (name == "src" && pageSrc)) found.push_back({at, 1, value});
                    found.push_back({at, 2, std::move(value)});
                } else if (name == "srcset" || name == "imagesrcset") {
                    SrcsetUrls(attribute->value, at, found);
                } else if (name == "style") {
                    CssUrls(attribute->value, at, found);
                } else if (name == "http-equiv" && tag == GUMBO_TAG_META) {
                    refresh = EqualNoCase(Clean(attribute->value), "refresh");
                } else if (name == "content" && tag == GUMBO_TAG_META) {
                    content = attribute;
                }
            }
            std::string target;
            if (refresh && content != nullptr && RefreshUrl(content->value, target)) {
                // A browser goes there by itself: a page as well as an address used.
                found.push_back({content->name_start.offset, 1, target});
                found.push_back({content->name_start.offset, 2, std::move(target)});
            }
            if (tag == GUMBO_TAG_STYLE) {
                for (unsigned i = 0; i < children->length; ++i) {
                    const auto* child = static_cast<const GumboNode*>(children->data[i]);
                    if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE) {
                        CssUrls(child->v.text.text, child->v.text.start_pos.offset, found);
                    }
                }
                continue;
            }
        }
        if (children == nullptr) continue;
        for (unsigned i = children->length; i-- > 0;) stack.push_back(static_cast<const GumboNode*>(children->data[i]));
    }
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.offset < b.offset; });
}

// Page boundaries: every "<!DOCTYPE html>" after the first non-blank byte
// starts a page (and the file's start does).
std::vector<std::string_view> SplitPages(std::string_view text) {
    std::vector<std::string_view> pages;
    static constexpr std::string_view kMark = "<!DOCTYPE html>";
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t from = start;
        while (from < text.size() && IsBlank(text[from])) ++from;
        std::size_t next = text.find(kMark, from + 1);
        if (next == std::string_view::npos) next = text.size();
        pages.push_back(text.substr(start, next - start));
        start = next;
    }
    return pages;
}

}  // namespace

int main(int argc, char** argv) {
    bool dump = false;
    std::vector<std::string> texts;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dump") == 0) {
            dump = true;
            continue;
        }
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "gumbo-bench: cannot read %s\n", argv[i]);
            return 1;
        }
        texts.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (texts.empty()) {
        std::fprintf(stderr, "usage: gumbo-bench [--dump] FILE...\n");
        return 2;
    }
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;  // parse errors are not wanted: do not record them

    double seconds = 0;
    double bytes = 0;
    std::size_t pageCount = 0;
    std::size_t pageLinks = 0;
    std::size_t resources = 0;
    std::vector<Found> found;
    for (const std::string& text : texts) {
        for (const std::string_view page : SplitPages(text)) {
            const auto start = std::chrono::steady_clock::now();
            found.clear();
            GumboOutput* output = gumbo_parse_with_options(&options, page.data(), page.size());
            Collect(output->document, found);
            gumbo_destroy_output(&options, output);
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            bytes += static_cast<double>(page.size());
            bool baseSeen = false;
            if (dump) std::printf("# page %zu\n", pageCount);
            for (const Found& f : found) {
                if (f.kind == 0) {
                    if (dump && !baseSeen) std::printf("base %s\n", f.address.c_str());
                    baseSeen = true;
                    continue;
                }
                ++(f.kind == 1 ? pageLinks : resources);
            }
            if (dump) {
                for (const Found& f : found) {
                    if (f.kind == 1) std::printf("page %s\n", f.address.c_str());
                }
                for (const Found& f : found) {
                    if (f.kind == 2) std::printf("res %s\n", f.address.c_str());
                }
            }
            ++pageCount;
        }
    }
    std::printf("pages: %zu\n", pageCount);
    std::printf("page links: %zu\n", pageLinks);
    std::printf("resources: %zu\n", resources);
    std::printf("gumbo: %.1f MB/s\n", seconds > 0 ? bytes / 1e6 / seconds : 0.0);
    return 0;
}
