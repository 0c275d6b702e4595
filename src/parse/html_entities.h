// Named character references (&amp;, &eacute;, ...) of HTML.
#pragma once

#include <optional>
#include <string_view>

namespace veltrano {

struct HtmlEntity {
    std::string_view value;  // UTF-8
    bool legacy;             // also recognised without the semicolon
};

// The reference called `name` (without ";"), if there is one.
std::optional<HtmlEntity> FindHtmlEntity(std::string_view name);

// The longest name a reference may have, without the semicolon.
inline constexpr std::size_t kHtmlEntityNameMax = 31;

}  // namespace veltrano
