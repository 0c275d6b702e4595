#include "state/app_state.h"

#include <system_error>
#include <thread>

namespace veltrano {

AppState::AppState() {
    CompilePattern(linkPatterns[0], kLinkPatternDoubleQuote);
    CompilePattern(linkPatterns[1], kLinkPatternSingleQuote);
    const char* const pageKinds[] = {"htm", "html", "php", "aspx", "cgi", "-"};
    for (std::size_t i = 0; i < std::size(pageKinds); ++i) pageExtensions[i] = pageKinds[i];
}

bool StartDetachedThread(std::function<void()> job) {
    try {
        std::thread(std::move(job)).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

}  // namespace veltrano
