// The text pattern language: one line of tokens separated by spaces. All
// tokens but the last two must stand in the page in order with only blanks
// between them; the last-but-one opens the capture and the last closes it.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace veltrano {

inline constexpr std::size_t kPatternTokenCount = 20;
inline constexpr std::size_t kTokenTextSize = 52;  // 51 characters and a NUL
inline constexpr std::size_t kTokenTextMax = kTokenTextSize - 1;

struct PatternToken {
    std::array<char, kTokenTextSize> text{};
    bool needsBlankAfter = false;  // the page byte right after the token must be blank
    bool matched = false;          // scan state; clear in every stored pattern
    bool opensCapture = false;     // the capture starts right after this token

    std::string_view Text() const;
    bool operator==(const PatternToken&) const = default;
};

struct CompiledPattern {
    std::array<PatternToken, kPatternTokenCount> tokens{};
    bool operator==(const CompiledPattern&) const = default;
};

// The two built-in link patterns: targets of <a href="..."> and <a href='...'>.
inline constexpr std::string_view kLinkPatternDoubleQuote = "< A  HREF = \" \"";
inline constexpr std::string_view kLinkPatternSingleQuote = "< A  HREF = ' '";

// Fills `pattern` from `text`; nothing of an earlier compilation survives.
void CompilePattern(CompiledPattern& pattern, std::string_view text);

// A pattern whose first token opens the capture (fewer than three tokens)
// never captures and is refused.
bool IsPatternValid(const CompiledPattern& pattern);

}  // namespace veltrano
