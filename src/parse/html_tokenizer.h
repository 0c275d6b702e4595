// An HTML tokenizer after the HTML Living Standard, reduced to what a link
// reader needs: start tags with their attributes, and the text of <style>
// elements. Comments, doctypes, script and other raw text never yield tags;
// character references in attribute values are decoded; a tag cut off by
// the end of the page is dropped, as a browser drops it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veltrano {

struct HtmlAttribute {
    std::string name;   // lower case
    std::string value;  // character references decoded
};

struct HtmlStartTag {
    std::string name;  // lower case
    // The first attribute of each name, in the order written. Only the
    // first `count` entries are in use (the rest keep their storage).
    std::vector<HtmlAttribute> attributes;
    std::size_t count = 0;

    // The value of attribute `name` (lower case), or nullptr.
    const std::string* Find(std::string_view name) const;
};

class HtmlTokenSink {
public:
    virtual ~HtmlTokenSink() = default;
    virtual void StartTag(const HtmlStartTag& tag) = 0;
    // The raw text of a <style> element of the HTML namespace.
    virtual void StyleText(std::string_view css) = 0;
};

void TokenizeHtml(std::string_view page, HtmlTokenSink& sink);

// Appends the decoded character reference at `text[at]` (which is "&") to
// `out` and returns the position after it; with nothing to decode, appends
// "&" and returns at + 1. `inAttribute`: a legacy name without ";" that is
// followed by "=" or a letter or digit stays as written.
std::size_t DecodeCharacterReference(std::string_view text, std::size_t at, bool inAttribute, std::string& out);

}  // namespace veltrano
