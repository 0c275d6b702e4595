// The addresses a browser would use on one HTML page, read with an HTML5
// tokenizer: attribute order, quoting and case do not matter, character
// references are decoded, and nothing in comments, scripts or other raw
// text is taken for a tag.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veltrano {

struct HtmlLinks {
    // The first <base href>, as written (decoded); empty when there is none.
    std::string base;
    // Where a visitor can go next: <a href>, <area href>, <frame src>,
    // <iframe src> and a refresh's target. In document order, as written (decoded, blanks around
    // them and line breaks inside them removed).
    std::vector<std::string> pages;
    // Every address the page uses: href, src, srcset candidates, poster,
    // <object data>, background, <meta http-equiv=refresh> targets and CSS
    // url(...) in style attributes and <style> blocks. In document order.
    std::vector<std::string> resources;
};

HtmlLinks ReadHtmlLinks(std::string_view page);

}  // namespace veltrano
