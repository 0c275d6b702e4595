#include "state/app_state.h"

namespace veltrano {

AppState::AppState() {
    CompilePattern(linkPatterns[0], kLinkPatternDoubleQuote);
    CompilePattern(linkPatterns[1], kLinkPatternSingleQuote);
    const char* const pageKinds[] = {"htm", "html", "php", "aspx", "cgi", "-"};
    for (std::size_t i = 0; i < std::size(pageKinds); ++i) pageExtensions[i] = pageKinds[i];
}

}  // namespace veltrano
