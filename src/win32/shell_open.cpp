#include "win32/shell_open.h"

#include <string>

#include "text/text_ops.h"
#include "win32/seams.h"

namespace veltrano::win32 {

bool IsWebAddress(std::string_view text) {
    for (const std::string_view scheme : {"http://", "https://", "ftp://"}) {
        if (MatchAtNoCase(0, scheme, text)) return true;
    }
    return false;
}

void ShellOpen(HWND owner, std::string_view text) { CurrentSeams().shellOpen(owner, std::string(text), {}); }

void OpenCrawledText(HWND owner, std::string_view text) {
    if (IsWebAddress(text)) ShellOpen(owner, text);
}

}  // namespace veltrano::win32
