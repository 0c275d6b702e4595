#include "text/pattern.h"

#include <string>

#include "text/text_ops.h"

namespace veltrano {

std::string_view PatternToken::Text() const {
    std::size_t length = 0;
    while (length < kTokenTextMax && text[length] != '\0') ++length;
    return {text.data(), length};
}

void CompilePattern(CompiledPattern& pattern, std::string_view text) {
    pattern = CompiledPattern{};
    // The pattern is a C text: a NUL ends it.
    std::string line(text.substr(0, text.find('\0')));
    TrimBlanks(line);

    std::size_t token = 0;
    std::size_t separators = 0;
    std::size_t length = 0;  // characters in the current token
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == ' ') {
            if (i + 1 < line.size() && line[i + 1] == ' ') {
                pattern.tokens[token].needsBlankAfter = true;
                ++i;
            }
            ++separators;
            ++token;
            length = 0;
            if (separators == kPatternTokenCount) break;
        } else if (length < kTokenTextMax) {
            pattern.tokens[token].text[length++] = line[i];
        }
    }
    pattern.tokens[separators == 0 ? 0 : separators - 1].opensCapture = true;
}

bool IsPatternValid(const CompiledPattern& pattern) { return !pattern.tokens[0].opensCapture; }

}  // namespace veltrano
